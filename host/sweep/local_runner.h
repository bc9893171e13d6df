#pragma once
// Runs designs of a plan on this machine, a given number at a time, each as a
// DesignJob. Stops starting new ones on SIGINT or SIGTERM, hands the signal to
// the commands under way and waits for them; what they left is run again next
// time.

#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

#include "host/io/disk_interface.h"
#include "host/sweep/sweep_plan.h"

namespace cohortix::host::sweep {

struct LocalRunOptions {
  int jobs = 1;
  bool retryFailed = false;
  bool progress = false;       // a progress line (for a terminal)
  bool reportSkipped = false;  // a line also for a design complete before
  std::filesystem::path executable;
  std::string plugin;
};

struct LocalRunReport {
  int designs = 0;
  int complete = 0;    // now or before
  int failed = 0;      // now or before
  int busy = 0;        // run by another process
  int pending = 0;     // interrupted or never started
  int stopSignal = 0;  // SIGINT or SIGTERM when one stopped the run
};

// Runs the designs (all of the plan's when `only` is empty). Reports each failure
// with its log on `messages`; an error is a failure of the sweep itself (a
// command that cannot be started, a folder that cannot be written).
Result<LocalRunReport> runDesigns(const std::filesystem::path& folder, const Plan& plan,
                                  const std::vector<const PlannedDesign*>& only,
                                  const LocalRunOptions& options, std::ostream& messages,
                                  DiskInterface& disk);

}  // namespace cohortix::host::sweep
