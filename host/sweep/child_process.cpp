#include "host/sweep/child_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

extern char** environ;

namespace cohortix::host::sweep {

SignalWaiter::SignalWaiter() {
  sigemptyset(&blocked_);
  sigaddset(&blocked_, SIGINT);
  sigaddset(&blocked_, SIGTERM);
  sigaddset(&blocked_, SIGCHLD);
  pthread_sigmask(SIG_BLOCK, &blocked_, &previous_);
}

SignalWaiter::~SignalWaiter() {
  // A SIGCHLD still pending must not reach the restored mask as if new; the stop
  // signals are the caller's to act on, through stopSignal().
  const timespec none = {0, 0};
  sigset_t child;
  sigemptyset(&child);
  sigaddset(&child, SIGCHLD);
  while (sigtimedwait(&child, nullptr, &none) > 0) {
  }
  pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

int SignalWaiter::wait(std::chrono::milliseconds timeout) {
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(timeout);
  const timespec limit = {static_cast<time_t>(seconds.count()),
                          static_cast<long>((timeout - seconds).count() * 1000000)};
  const int signal = sigtimedwait(&blocked_, nullptr, &limit);
  if (signal != SIGINT && signal != SIGTERM) return 0;
  if (stopSignal_ == 0) stopSignal_ = signal;
  return signal;
}

Result<pid_t> startChild(const std::vector<std::string>& argv, const std::filesystem::path& folder,
                         const std::filesystem::path& log, const SignalWaiter& waiter) {
  std::vector<char*> arguments;
  for (const std::string& word : argv) arguments.push_back(const_cast<char*>(word.c_str()));
  arguments.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(),
                                   O_WRONLY | O_CREAT | O_APPEND, 0666);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGINT);
  sigaddset(&defaults, SIGTERM);
  sigaddset(&defaults, SIGCHLD);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setsigmask(&attributes, &waiter.childMask());
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  pid_t pid = 0;
  const int failure =
      posix_spawn(&pid, arguments[0], &actions, &attributes, arguments.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (failure != 0) return Status::fromErrno(failure).context("cannot start " + argv[0]);
  return pid;
}

EndedChild reapChild() {
  EndedChild ended;
  do {
    ended.pid = waitpid(-1, &ended.status, WNOHANG);
  } while (ended.pid < 0 && errno == EINTR);
  if (ended.pid < 0) ended.pid = 0;
  return ended;
}

int exitCodeOf(int waitStatus) {
  if (WIFEXITED(waitStatus)) return WEXITSTATUS(waitStatus);
  if (WIFSIGNALED(waitStatus)) return 128 + WTERMSIG(waitStatus);
  return 1;
}

std::filesystem::path currentExecutable() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::path("cohortix") : self;
}

}  // namespace cohortix::host::sweep
