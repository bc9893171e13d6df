#pragma once
// One design of a plan run once: the same steps whether the local runner, a Slurm
// array task or a Snakemake rule starts it. The design's folder, jobs/ID/, holds
// its command's output (output/), its log (log.txt) and, written atomically when
// the command has ended, either "complete" or "failed": a complete design is
// never run again, a failed one only when asked. A design whose command is
// interrupted is left with neither, to run again whole.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

#include "host/io/disk_interface.h"
#include "host/sweep/child_process.h"
#include "host/sweep/sweep_plan.h"

namespace cohortix::host::sweep {

enum class DesignState { Pending, Complete, Failed };

// What the completion or failure file of a design holds.
struct DesignSummary {
  int exitStatus = 0;
  long long subjects = 0;  // the design's control file's; a power design names its sizes in command
  long long files = 0;  // regular files under output/, but for the run's record
  long long bytes = 0;
  double seconds = 0.0;  // wall time of the command
  std::string command;   // as run, its words quoted for a shell; empty in older plans
};

std::string summaryText(const DesignSummary& summary);
Result<DesignSummary> parseSummary(const std::string& text, const std::string& name);

DesignState designState(const std::filesystem::path& plan, const std::string& id);
// The summary of a complete or failed design.
Result<DesignSummary> readSummary(const std::filesystem::path& plan, const std::string& id,
                                  DesignState state);
std::filesystem::path logPath(const std::filesystem::path& plan, const std::string& id);

// What starting a design found.
enum class JobStart { Started, AlreadyComplete, FailedEarlier, Busy };

class DesignJob {
 public:
  // executable runs the design's command in place of its first word ("cohortix");
  // plugin, when not empty, is passed as --plugin before the subcommand.
  DesignJob(std::filesystem::path plan, PlannedDesign design, std::filesystem::path executable,
            std::string plugin, DiskInterface& disk);
  ~DesignJob();
  DesignJob(const DesignJob&) = delete;
  DesignJob& operator=(const DesignJob&) = delete;

  // Takes the design's lock and starts its command, unless the design is complete,
  // failed before (and retryFailed is false) or run by another process.
  Result<JobStart> start(bool retryFailed, const SignalWaiter& waiter);
  pid_t pid() const { return pid_; }
  const PlannedDesign& design() const { return design_; }

  // After the command ended with waitStatus: writes the completion or failure file
  // and returns the state (Pending when the command was interrupted).
  Result<DesignState> finish(int waitStatus);

 private:
  Result<DesignSummary> summarise(int waitStatus) const;

  std::filesystem::path plan_;
  PlannedDesign design_;
  std::filesystem::path executable_;
  std::string plugin_;
  DiskInterface& disk_;
  int lock_ = -1;
  pid_t pid_ = 0;
  std::chrono::steady_clock::time_point started_;
};

}  // namespace cohortix::host::sweep
