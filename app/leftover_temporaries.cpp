#include "app/leftover_temporaries.h"

#include <memory>
#include <ostream>
#include <string>

#include "control/control_file_reader.h"
#include "host/io/temporary_files.h"

namespace cohortix::app {
namespace {

constexpr std::string_view kSuffixes[] = {".prt", ".rtc", ".vtc", "_events.tsv",
                                          "_design.tsv", ".nii", ".nii.gz"};

// Takes "<letter><digits>_" off the front of name; false when it is not there.
bool takeNumbered(std::string_view& name, char letter) {
  if (name.empty() || name.front() != letter) return false;
  std::size_t digits = 1;
  while (digits < name.size() && name[digits] >= '0' && name[digits] <= '9') ++digits;
  if (digits == 1 || digits >= name.size() || name[digits] != '_') return false;
  name.remove_prefix(digits + 1);
  return true;
}

}  // namespace

bool isOutputOfExperiment(std::string_view name, std::string_view experimentName) {
  if (!takeNumbered(name, 'S') || !takeNumbered(name, 'G')) return false;
  if (name.substr(0, experimentName.size()) != experimentName) return false;
  name.remove_prefix(experimentName.size());
  for (const std::string_view suffix : kSuffixes)
    if (name == suffix) return true;
  return false;
}

void removeLeftoversOfStudy(const std::filesystem::path& controlFile,
                            const std::filesystem::path& outputDir, std::ostream& messages) {
  // The design is far too large for the stack.
  auto design = std::make_unique<SimulationDesign>();
  std::string refusal;
  if (!parseControlFile(controlFile.c_str(), *design, refusal)) return;
  const std::string experiment = design->ExperimentName;
  // The folder's run record is the run's that holds the folder now, as its files are.
  const int removed = host::removeLeftoverTemporaries(outputDir, [&](std::string_view name) {
    return name == "cohortix-run.json" || isOutputOfExperiment(name, experiment);
  });
  if (removed == 0) return;
  messages << "cohortix: removed " << removed
           << (removed == 1 ? " temporary file" : " temporary files") << " of " << experiment
           << " in " << outputDir.string() << " that an earlier run left when it was stopped\n"
           << std::flush;
}

void removeLeftoversOfDataset(const std::filesystem::path& dataset, std::ostream& messages) {
  const auto any = [](std::string_view) { return true; };
  int removed = host::removeLeftoverTemporaries(dataset, any);
  std::error_code error;
  for (std::filesystem::recursive_directory_iterator it(dataset, error), end; !error && it != end;
       it.increment(error))
    if (it->is_directory(error) && !it->is_symlink(error)) removed += host::removeLeftoverTemporaries(it->path(), any);
  if (removed == 0) return;
  messages << "cohortix: removed " << removed << (removed == 1 ? " temporary file" : " temporary files")
           << " in the dataset " << dataset.string() << " that an earlier run left when it was stopped\n"
           << std::flush;
}

}  // namespace cohortix::app
