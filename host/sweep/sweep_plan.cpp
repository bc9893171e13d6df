#include "host/sweep/sweep_plan.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <iterator>

#include "host/sweep/control_edit.h"
#include "host/sweep/design_job.h"
#include "host/sweep/manifest.h"

namespace cohortix::host::sweep {
namespace {

std::string designId(std::size_t number, std::size_t count) {
  std::string digits = std::to_string(number);
  const std::size_t width = std::max<std::size_t>(3, std::to_string(count).size());
  return "d" + std::string(width - digits.size(), '0') + digits;
}

// "SubjectsPerGroup = 12, --tr = 2", to say which design a message is about.
std::string describe(const Plan& plan, const PlannedDesign& design) {
  std::string text;
  for (std::size_t a = 0; a < plan.varied.size(); ++a)
    text += (a ? ", " : "") + plan.varied[a] + " = " + design.values[a];
  return text;
}

std::vector<std::string> commandOf(const SweepDefinition& definition, const std::string& id,
                                   const std::vector<std::string>& variedOptions) {
  std::vector<std::string> command = {"cohortix", definition.command, designFile(id).string()};
  if (definition.command != "check") {
    command.push_back("-o");
    command.push_back((jobFolder(id) / "output").string());
  }
  command.insert(command.end(), definition.options.begin(), definition.options.end());
  command.insert(command.end(), variedOptions.begin(), variedOptions.end());
  return command;
}

Result<std::string> fileText(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return Status::error("cannot read " + path.string());
  return std::string(std::istreambuf_iterator<char>(file), {});
}

// A folder holding results: the plan in it must be this one, design by design.
Status sameAsPlanned(const ExpandedSweep& sweep, const std::filesystem::path& folder) {
  const std::string refusal = folder.string() +
                              " holds the results of another plan; plan into a new folder, "
                              "or remove it to start over";
  Result<std::string> manifest = fileText(manifestPath(folder));
  if (!manifest || manifest.value() != manifestText(sweep.plan)) return Status::error(refusal);
  for (std::size_t d = 0; d < sweep.controls.size(); ++d) {
    Result<std::string> text = fileText(folder / designFile(sweep.plan.designs[d].id));
    if (!text || text.value() != sweep.controls[d].text)
      return Status::error(refusal + " (" + designFile(sweep.plan.designs[d].id).string() +
                           " differs)");
  }
  return Status::ok();
}

bool isDesignFileName(const std::string& name) {
  return name.size() > 5 && name[0] == 'd' && name.substr(name.size() - 4) == ".cxd" &&
         name.find_first_not_of("0123456789", 1) == name.size() - 4;
}

// Planning replaces the files of an earlier plan, and never touches anything else:
// a folder holding other files is not ours to write into.
Status onlyPlanFiles(const std::filesystem::path& folder, bool withJobs = false) {
  static const char* const kPlanEntries[] = {"manifest.tsv", "sweep.toml", "designs", "logs",
                                             "sweep.sbatch"};
  std::error_code error;
  if (!std::filesystem::exists(folder, error)) return Status::ok();
  const Status refusal = Status::error(folder.string() +
                                       " holds files that are not a plan's; "
                                       "plan into a new or empty folder");
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    const std::string name = entry.path().filename().string();
    if (std::find(std::begin(kPlanEntries), std::end(kPlanEntries), name) == std::end(kPlanEntries) &&
        !(withJobs && name == "jobs"))
      return refusal;
  }
  for (const auto& entry : std::filesystem::directory_iterator(folder / "designs", error)) {
    const std::string name = entry.path().filename().string();
    // A design file, or the temporary of one that an interrupted plan left.
    if (!isDesignFileName(name.substr(0, name.find(".tmp.")))) return refusal;
  }
  return Status::ok();
}

// Whether the plan in folder has run with anything to keep: a design complete, or
// one started and not failed (running now, or interrupted with its output). A plan
// whose every started design failed holds nothing but their logs.
bool holdsResults(const std::filesystem::path& folder) {
  std::error_code error;
  bool started = false;
  for (const auto& entry : std::filesystem::directory_iterator(folder / "jobs", error)) {
    started = true;
    if (designState(folder, entry.path().filename().string()) != DesignState::Failed) return true;
  }
  return started && error;
}

Status writeText(DiskInterface& disk, const std::filesystem::path& path, const std::string& text) {
  const std::array<std::string_view, 1> parts = {text};
  return disk.writeFile(path, parts).context("cannot write " + path.string());
}

}  // namespace

std::filesystem::path manifestPath(const std::filesystem::path& folder) {
  return folder / "manifest.tsv";
}
std::filesystem::path designFile(const std::string& id) {
  return std::filesystem::path("designs") / (id + ".cxd");
}
std::filesystem::path jobFolder(const std::string& id) {
  return std::filesystem::path("jobs") / id;
}

Result<ExpandedSweep> expandSweep(const SweepDefinition& definition) {
  std::size_t count = 1;
  for (const SweepAxis& axis : definition.axes) {
    if (count > kMaxDesigns / axis.values.size())
      return Status::error(definition.file.string() + ": the sweep has more than " +
                           std::to_string(kMaxDesigns) + " designs");
    count *= axis.values.size();
  }
  ExpandedSweep sweep;
  for (const SweepAxis& axis : definition.axes) sweep.plan.varied.push_back(axis.name);
  for (std::size_t d = 0; d < count; ++d) {
    PlannedDesign design;
    design.id = designId(d + 1, count);
    std::vector<ItemEdit> edits;
    std::vector<std::string> options;
    std::size_t rest = d;
    design.values.resize(definition.axes.size());
    for (std::size_t a = definition.axes.size(); a-- > 0;) {
      const SweepAxis& axis = definition.axes[a];
      const SweepValue& value = axis.values[rest % axis.values.size()];
      rest /= axis.values.size();
      design.values[a] = value.shown;
      if (axis.item != nullptr)
        edits.push_back({axis.item, value.rows});
      else
        options.insert(options.begin(), value.arguments.begin(), value.arguments.end());
    }
    Result<EditedText> text = editItems(definition.base, edits);
    if (!text)
      return text.status().context(definition.file.string() + ": design " + design.id + " (" +
                                   describe(sweep.plan, design) + ")");
    design.command = commandOf(definition, design.id, options);
    for (const std::string& word : design.command)
      if (word.find_first_of("\t\r\n") != std::string::npos)
        return Status::error(definition.file.string() + ": design " + design.id +
                             ": expected a command line without tabs or line breaks for the "
                             "manifest, found " +
                             shellQuoted(word));
    sweep.plan.designs.push_back(std::move(design));
    sweep.controls.push_back(std::move(text.value()));
  }
  return sweep;
}

Result<PlanResult> writePlan(const SweepDefinition& definition, const std::filesystem::path& folder,
                             DiskInterface& disk) {
  Result<ExpandedSweep> expanded = expandSweep(definition);
  if (!expanded) return expanded.status();
  const ExpandedSweep& sweep = expanded.value();
  PlanResult result{sweep.plan, false};
  std::error_code error;
  if (holdsResults(folder)) {
    if (Status same = sameAsPlanned(sweep, folder); !same) return same;
    result.unchanged = true;
    return result;
  }
  // Designs that all failed leave no results: their folders go with the plan they
  // ran.
  if (std::filesystem::exists(folder / "jobs", error) && onlyPlanFiles(folder, true).isOk()) {
    std::filesystem::remove_all(folder / "jobs", error);
    if (error) return Status::error("cannot remove " + (folder / "jobs").string() + ": " + error.message());
  }
  if (Status own = onlyPlanFiles(folder); !own) return own;
  // A plan not yet run, or one refused half-way, is replaced whole.
  std::filesystem::remove(manifestPath(folder), error);
  for (const auto& entry : std::filesystem::directory_iterator(folder / "designs", error))
    std::filesystem::remove(entry.path(), error);
  if (Status made = disk.makeDirs(folder / "designs"); !made)
    return made.context("cannot create " + (folder / "designs").string());
  for (std::size_t d = 0; d < sweep.controls.size(); ++d) {
    const PlannedDesign& design = sweep.plan.designs[d];
    const std::filesystem::path path = folder / designFile(design.id);
    if (Status written = writeText(disk, path, sweep.controls[d].text); !written) return written;
    // The edits put each item where the base has it; the reader must agree.
    if (Status read = checkEditedFile(path, definition.base, sweep.controls[d]); !read)
      return Status::error(read.message() + " (design " + design.id + ": " +
                           describe(sweep.plan, design) + ")");
  }
  if (Status copied = writeText(disk, folder / "sweep.toml", definition.text); !copied)
    return copied;
  if (Status written = writeText(disk, manifestPath(folder), manifestText(sweep.plan)); !written)
    return written;
  return result;
}

}  // namespace cohortix::host::sweep
