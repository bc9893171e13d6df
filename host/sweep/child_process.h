#pragma once
// Starting a design's command as a child process and waiting for children and for
// the signals that stop a sweep (SIGINT, SIGTERM) in one place, without races: the
// waiter blocks those signals and SIGCHLD while it lives and takes them one by one.

#include <sys/types.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "host/io/status.h"

namespace cohortix::host::sweep {

class SignalWaiter {
 public:
  SignalWaiter();
  ~SignalWaiter();  // restores the signal mask
  SignalWaiter(const SignalWaiter&) = delete;
  SignalWaiter& operator=(const SignalWaiter&) = delete;

  // Waits at most `timeout`: SIGINT or SIGTERM when one came (the first one is
  // kept in stopSignal()), 0 otherwise (a child may have ended: reap them).
  int wait(std::chrono::milliseconds timeout);
  int stopSignal() const { return stopSignal_; }
  // The mask the children get: the one before the waiter.
  const sigset_t& childMask() const { return previous_; }

 private:
  sigset_t blocked_;
  sigset_t previous_;
  int stopSignal_ = 0;
};

// Starts argv[0] (a path) with the arguments in `folder`, standard input from
// /dev/null and standard output and error appended to `log`, with the waiter's
// child mask and SIGINT and SIGTERM at their default actions. The child gets
// SIGTERM when the thread that started it ends (the sweep's runner, however it
// ends), so no design's command outlives its sweep.
Result<pid_t> startChild(const std::vector<std::string>& argv, const std::filesystem::path& folder,
                         const std::filesystem::path& log, const SignalWaiter& waiter);

// A child that ended: its pid and wait status; pid 0 when none has.
struct EndedChild {
  pid_t pid = 0;
  int status = 0;
};
EndedChild reapChild();

// The exit status a shell reports for a wait status: the exit code, or 128 + signal.
int exitCodeOf(int waitStatus);

// The running executable, to start further cohortix commands from.
std::filesystem::path currentExecutable();

}  // namespace cohortix::host::sweep
