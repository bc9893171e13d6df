#pragma once
// Stops a run when the user interrupts it (SIGINT, Ctrl-C), the system asks it to
// end (SIGTERM) or its terminal goes away (SIGHUP). While a watcher lives the three
// signals are blocked in the thread
// that made it and in every thread started after it, and a thread of the watcher's
// own takes them and calls `stop` with the signal number. `stop` runs beside the
// run, which goes on meanwhile in the other threads: it is expected to make the
// files safe and end the process. The plug-in may compute for a long time between
// two calls into the host, so stopping from here does not wait for its next call.

#include <atomic>
#include <csignal>
#include <functional>
#include <thread>

namespace cohortix::host {

class InterruptionWatcher {
 public:
  explicit InterruptionWatcher(std::function<void(int signal)> stop);
  // Ends the watch and restores the signal mask: a signal that arrives from then
  // on has its usual effect.
  ~InterruptionWatcher();
  InterruptionWatcher(const InterruptionWatcher&) = delete;
  InterruptionWatcher& operator=(const InterruptionWatcher&) = delete;

 private:
  void watch();

  std::function<void(int)> stop_;
  sigset_t signals_;
  sigset_t previousMask_;
  std::atomic<bool> closing_{false};
  std::thread thread_;
};

// "SIGINT", "SIGTERM", "SIGHUP".
const char* signalName(int signal);

}  // namespace cohortix::host
