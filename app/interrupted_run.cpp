#include "app/interrupted_run.h"

#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <string>

#include "app/exit_status.h"
#include "app/interruption_watcher.h"
#include "app/output_streams.h"

namespace cohortix::app {
namespace {

ExitStatus exitStatusOf(int signal) {
  switch (signal) {
    case SIGINT: return ExitStatus::Interrupted;
    case SIGHUP: return ExitStatus::HungUp;
    default: return ExitStatus::Terminated;
  }
}

[[noreturn]] void stopWithLine(int signal, const std::string& what) {
  // On a terminal the progress line or the echoed ^C holds the cursor.
  const std::string line = std::string(::isatty(STDERR_FILENO) == 1 ? "\n" : "") +
                           "cohortix: interrupted by " + host::signalName(signal) + ": " + what + "\n";
  writeLastLine(line);
  std::_Exit(toExitCode(exitStatusOf(signal)));
}

}  // namespace

void stopInterruptedRun(host::RealDiskInterface& disk, int signal) {
  // First silence the output: a write that the next step cancels must not be
  // reported, and nothing printed after this line.
  silenceOutput();
  disk.abandonWrites();
  stopWithLine(signal, "the run stopped; the files it finished are complete, no other was kept");
}

void stopInterruptedCommand(host::RealDiskInterface& disk, int signal, const std::string& what,
                            const std::function<void()>& cleanUp) {
  silenceOutput();
  disk.abandonWrites();
  cleanUp();
  stopWithLine(signal, what + " stopped; nothing of it was kept");
}

}  // namespace cohortix::app
