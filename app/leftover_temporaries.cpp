#include "app/leftover_temporaries.h"

#include <memory>
#include <ostream>
#include <string>
#include <string_view>

#include "control/control_file_reader.h"
#include "host/io/temporary_files.h"

namespace cohortix::app {
namespace {

// What follows "S<n>_G<n>_<experiment>" in a subject's files: the native files,
// the exports beside them, its truth and its T1w.
constexpr std::string_view kSubjectSuffixes[] = {
    ".prt", ".rtc", ".vtc", "_events.tsv", "_design.tsv", ".nii", ".nii.gz",
    "_truth.json", "_truth_baseline.json", "_truth_effects.json", "_truth_regions.json",
    "_truth_motion.json", "_truth_motion.tsv", "_T1w.json",
    "_truth_baseline.nii", "_truth_effects.nii", "_truth_regions.nii", "_T1w.nii",
    "_truth_baseline.nii.gz", "_truth_effects.nii.gz", "_truth_regions.nii.gz", "_T1w.nii.gz"};
// What follows "<experiment>" in the study's truth, and "<experiment>_G<n>" in a
// group's.
constexpr std::string_view kStudySuffixes[] = {
    "_truth.tsv", "_truth_slice_timing.json", "_truth_tissue.json", "_truth_tissue.nii",
    "_truth_tissue.nii.gz", "_truth_brain_mask.nii", "_truth_brain_mask.nii.gz"};
constexpr std::string_view kGroupSuffixes[] = {"_truth_effects.json", "_truth_effects.nii",
                                               "_truth_effects.nii.gz"};

template <std::size_t N>
bool oneOf(std::string_view name, const std::string_view (&suffixes)[N]) {
  for (const std::string_view suffix : suffixes)
    if (name == suffix) return true;
  return false;
}

// Takes `prefix` off the front of name; false when it is not there.
bool takePrefix(std::string_view& name, std::string_view prefix) {
  if (name.substr(0, prefix.size()) != prefix) return false;
  name.remove_prefix(prefix.size());
  return true;
}

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
  std::string_view study = name;
  if (takePrefix(study, experimentName)) {
    if (oneOf(study, kStudySuffixes)) return true;
    // "_G<n>_truth_effects.nii": the group's "G<n>_" taken with the underscore after it.
    std::string_view group = study;
    if (takePrefix(group, "_") && takeNumbered(group, 'G') && oneOf("_" + std::string(group), kGroupSuffixes))
      return true;
  }
  if (!takeNumbered(name, 'S') || !takeNumbered(name, 'G')) return false;
  return takePrefix(name, experimentName) && oneOf(name, kSubjectSuffixes);
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
