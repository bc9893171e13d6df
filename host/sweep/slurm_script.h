#pragma once
// The Slurm job-array script of a plan: one array task per design, each running
// "cohortix sweep job" on its design, so a task whose design is complete ends at
// once and a cluster run resumes exactly as a local one does.

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "host/io/status.h"

namespace cohortix::host::sweep {

struct SlurmOptions {
  std::string partition;  // empty: the cluster's default, as for the rest
  std::string time;
  std::string memory;
  int cpus = 1;
  int throttle = 0;  // at most this many tasks at once; 0: no limit
  bool retryFailed = false;
  std::size_t maxArraySize = 1001;  // Slurm's MaxArraySize: indices 0 to 1000
  std::filesystem::path executable;
  std::string plugin;
};

struct SlurmScript {
  std::string text;
  // Extra submissions for a plan with more designs than one array may hold: the
  // script's own --array covers the first ones.
  std::vector<std::string> furtherSubmissions;
};

// folder must be absolute; scriptPath is where the script will stand.
Result<SlurmScript> slurmScript(const std::filesystem::path& folder, std::size_t designs,
                                const std::filesystem::path& scriptPath,
                                const SlurmOptions& options);

}  // namespace cohortix::host::sweep
