#pragma once
// How a run ends when a signal stops it (app/interruption_watcher.h).

#include <functional>
#include <string>

#include "host/io/disk_interface.h"

namespace cohortix::app {

// Ends the process at once, with the files the host finished under their names and
// nothing else: no temporary, no file of a write still under way. Nothing more is
// printed but one line naming the signal, and nothing waits on a stalled reader of
// the output. The exit status tells the signal: 130 SIGINT, 143 SIGTERM, 129 SIGHUP.
[[noreturn]] void stopInterruptedRun(host::RealDiskInterface& disk, int signal);

// The same for a command that is not a run ("the analysis", "the power
// analysis"): its writes abandoned, `cleanUp` (its staging and private folders
// removed) run, one line, the signal's exit status.
[[noreturn]] void stopInterruptedCommand(host::RealDiskInterface& disk, int signal, const std::string& what,
                                         const std::function<void()>& cleanUp);

}  // namespace cohortix::app
