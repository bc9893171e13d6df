#include "host/power/power_blocks.h"

#include <algorithm>
#include <array>

#include "host/power/power_part.h"
#include "host/power/replicate_block.h"
#include "host/sweep/design_job.h"
#include "host/sweep/manifest.h"

namespace cohortix::host {
namespace {

constexpr char kBlockOption[] = "--replicate-block";

std::string designId(int32_t block, int32_t blocks) {
  const std::string digits = std::to_string(block);
  const std::size_t width = std::max<std::size_t>(3, std::to_string(blocks).size());
  return "d" + std::string(width - digits.size(), '0') + digits;
}

Status writeText(DiskInterface& disk, const std::filesystem::path& path, const std::string& text) {
  const std::array<std::string_view, 1> parts = {text};
  return disk.writeFile(path, parts).context("cannot write " + path.string());
}

Status emptyOrMissing(const std::filesystem::path& folder) {
  std::error_code error;
  if (!std::filesystem::exists(folder, error)) return Status::ok();
  if (!std::filesystem::is_directory(folder, error)) return Status::error(folder.string() + " is a file");
  if (!std::filesystem::is_empty(folder, error))
    return Status::error(folder.string() + " is not empty: plan the blocks into a new or empty folder");
  return Status::ok();
}


}  // namespace

sweep::Plan powerBlockPlan(const PowerBlockPlan& blocks) {
  sweep::Plan plan;
  plan.varied = {"replicates"};
  for (int32_t k = 1; k <= blocks.blocks; ++k) {
    const ReplicateRange range = replicateRangeOf({k, blocks.blocks}, blocks.replicates);
    sweep::PlannedDesign design;
    design.id = designId(k, blocks.blocks);
    design.values = {std::to_string(range.first) + "-" + std::to_string(range.first + range.count - 1)};
    design.command = {"cohortix", "power", sweep::designFile(design.id).string(),
                      "-o", (sweep::jobFolder(design.id) / "output").string(),
                      kBlockOption, replicateBlockText({k, blocks.blocks})};
    if (!blocks.noiseText.empty()) design.command.insert(design.command.end(), {"--noise", kPlanNoiseProfile});
    design.command.insert(design.command.end(), blocks.options.begin(), blocks.options.end());
    plan.designs.push_back(std::move(design));
  }
  return plan;
}

Result<sweep::SlurmScript> writePowerBlockPlan(const PowerBlockPlan& blocks, const std::filesystem::path& folder,
                                               const sweep::SlurmOptions& slurm, DiskInterface& disk) {
  if (Status empty = emptyOrMissing(folder); !empty) return empty;
  const sweep::Plan plan = powerBlockPlan(blocks);
  const std::filesystem::path script = folder / "sweep.sbatch";
  Result<sweep::SlurmScript> text = sweep::slurmScript(folder, plan.designs.size(), script, slurm);
  if (!text) return text.status();
  for (const std::filesystem::path& made : {folder / "designs", folder / "logs"})
    if (Status ok = disk.makeDirs(made); !ok) return ok.context("cannot create " + made.string());
  for (const sweep::PlannedDesign& design : plan.designs)
    if (Status written = writeText(disk, folder / sweep::designFile(design.id), blocks.controlText); !written)
      return written;
  if (!blocks.noiseText.empty())
    if (Status written = writeText(disk, folder / kPlanNoiseProfile, blocks.noiseText); !written) return written;
  if (Status written = writeText(disk, script, text->text); !written) return written;
  std::filesystem::permissions(script, std::filesystem::perms::owner_exec | std::filesystem::perms::group_exec,
                               std::filesystem::perm_options::add);
  // The manifest last: a folder without one is no plan yet.
  if (Status written = writeText(disk, sweep::manifestPath(folder), sweep::manifestText(plan)); !written)
    return written;
  return text;
}

bool isPowerBlockPlan(const sweep::Plan& plan) {
  return !plan.designs.empty() && std::all_of(plan.designs.begin(), plan.designs.end(), [](const auto& design) {
           const std::vector<std::string>& words = design.command;
           return words.size() > 1 && words[1] == "power" &&
                  std::find(words.begin(), words.end(), kBlockOption) != words.end();
         });
}

Result<std::vector<PowerRow>> gatherPowerBlocks(const std::filesystem::path& folder, const sweep::Plan& plan,
                                                DiskInterface& disk) {
  std::vector<PowerPart> parts;
  for (std::size_t k = 0; k < plan.designs.size(); ++k) {
    const sweep::PlannedDesign& design = plan.designs[k];
    const std::string block = "block " + std::to_string(k + 1) + " of " + std::to_string(plan.designs.size()) +
                              " (design " + design.id + ", replicates " + design.values.front() + ")";
    const sweep::DesignState state = sweep::designState(folder, design.id);
    if (state == sweep::DesignState::Failed)
      return Status::error(block + " failed (" + sweep::logPath(folder, design.id).string() +
                           " says why); the table needs every block");
    if (state != sweep::DesignState::Complete)
      return Status::error(block + " has not run yet, or was stopped; the table needs every block");
    Result<PowerPart> part = readPowerPart(folder / sweep::jobFolder(design.id) / "output" / kPowerPartName, disk);
    if (!part) return part.status().context(block);
    parts.push_back(std::move(part).value());
  }
  return combinePowerParts(parts);
}

}  // namespace cohortix::host
