#include "app/interruption_watcher.h"

#include <pthread.h>

#include <utility>

namespace cohortix::host {

InterruptionWatcher::InterruptionWatcher(std::function<void(int)> stop) : stop_(std::move(stop)) {
  sigemptyset(&signals_);
  sigaddset(&signals_, SIGINT);
  sigaddset(&signals_, SIGTERM);
  sigaddset(&signals_, SIGHUP);
  // Blocked before the thread starts, so it inherits the mask and no signal can
  // reach the run's own threads in between.
  pthread_sigmask(SIG_BLOCK, &signals_, &previousMask_);
  try {
    thread_ = std::thread([this] { watch(); });
  } catch (...) {
    // No thread to be had (memory, the process's limit): the signals as they were.
    pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
    throw;
  }
}

InterruptionWatcher::~InterruptionWatcher() {
  closing_ = true;
  pthread_kill(thread_.native_handle(), SIGTERM);
  thread_.join();
  pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
}

void InterruptionWatcher::watch() {
  for (;;) {
    int signal = 0;
    if (sigwait(&signals_, &signal) != 0) continue;
    // The destructor's own wake-up call: the run is over, nothing to stop.
    if (closing_) return;
    stop_(signal);
  }
}

const char* signalName(int signal) {
  switch (signal) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    default: return "a signal";
  }
}

}  // namespace cohortix::host
