#pragma once
// A power analysis split into blocks of its replicates as a sweep plan: one
// "design" per block, each running `cohortix power ... --replicate-block K/B` into
// its own jobs/ID/output, so the sweep's runners (sweep run here, the Slurm job
// array, Snakemake) run, lock and resume the blocks as they do designs; the plan
// gathers into the table one process would have made of all the replicates.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "host/io/disk_interface.h"
#include "host/io/status.h"
#include "host/power/power_sink.h"
#include "host/sweep/slurm_script.h"
#include "host/sweep/sweep_plan.h"

namespace cohortix::host {

struct PowerBlockPlan {
  std::string controlText;           // the study's control file, copied for each block
  std::string noiseText;             // the noise profile, copied once; empty: none
  // The options every block runs with, but for -o, --noise and --replicate-block.
  std::vector<std::string> options;
  int32_t replicates = 0;
  int32_t blocks = 0;
};

// The profile's copy in the plan folder, which the blocks' commands name.
inline constexpr char kPlanNoiseProfile[] = "noise.toml";

// The plan of the blocks, each block's command and replicates.
sweep::Plan powerBlockPlan(const PowerBlockPlan& blocks);

// Writes the plan into `folder`, which must be missing or empty, and its Slurm
// script (sweep.sbatch, one array task per block, as `sweep slurm` writes it).
Result<sweep::SlurmScript> writePowerBlockPlan(const PowerBlockPlan& blocks, const std::filesystem::path& folder,
                                               const sweep::SlurmOptions& slurm, DiskInterface& disk);

// Whether a plan's designs are the blocks of one power analysis.
bool isPowerBlockPlan(const sweep::Plan& plan);

// The table of the whole analysis from every block's part, in block order. A block
// not run yet, failed, or whose part is missing, broken or of another analysis is
// refused, named with its design and file; nothing partial is given.
Result<std::vector<PowerRow>> gatherPowerBlocks(const std::filesystem::path& folder, const sweep::Plan& plan,
                                                DiskInterface& disk);

}  // namespace cohortix::host
