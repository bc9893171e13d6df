#include "host/sweep/child_process.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
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

namespace {

// The child's failure before exec: its errno to the parent, then the end.
[[noreturn]] void failInChild(int report) {
  const int error = errno;
  (void)!::write(report, &error, sizeof error);
  ::_exit(127);
}

// In the child between fork and exec: only calls that are safe there. A failure
// is written to `report` (errno) before the child ends.
[[noreturn]] void becomeChild(char* const* argv, const char* folder, const char* log,
                              const sigset_t& mask, pid_t parent, int report) {
  const auto fail = [report]() { failInChild(report); };
  // The child ends with the sweep, however the sweep ends: a SIGKILLed runner must
  // not leave commands running with their folders' locks released.
  if (::prctl(PR_SET_PDEATHSIG, SIGTERM) != 0) fail();
  if (::getppid() != parent) ::_exit(128 + SIGTERM);  // the sweep ended already
  struct sigaction defaults {};
  defaults.sa_handler = SIG_DFL;
  for (int signal : {SIGINT, SIGTERM, SIGCHLD}) ::sigaction(signal, &defaults, nullptr);
  ::pthread_sigmask(SIG_SETMASK, &mask, nullptr);
  const int in = ::open("/dev/null", O_RDONLY);
  const int out = ::open(log, O_WRONLY | O_CREAT | O_APPEND, 0666);
  if (in < 0 || out < 0) fail();
  if (::dup2(in, STDIN_FILENO) < 0 || ::dup2(out, STDOUT_FILENO) < 0 ||
      ::dup2(out, STDERR_FILENO) < 0)
    fail();
  if (::chdir(folder) != 0) fail();
  ::execve(argv[0], argv, environ);
  failInChild(report);
}

}  // namespace

Result<pid_t> startChild(const std::vector<std::string>& argv, const std::filesystem::path& folder,
                         const std::filesystem::path& log, const SignalWaiter& waiter) {
  std::vector<char*> arguments;
  for (const std::string& word : argv) arguments.push_back(const_cast<char*>(word.c_str()));
  arguments.push_back(nullptr);
  const std::string folderText = folder.string(), logText = log.string();
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) return Status::fromErrno(errno).context("cannot start " + argv[0]);
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid == 0)
    becomeChild(arguments.data(), folderText.c_str(), logText.c_str(), waiter.childMask(), parent,
                report[1]);
  const int forkError = errno;
  ::close(report[1]);
  if (pid < 0) {
    ::close(report[0]);
    return Status::fromErrno(forkError).context("cannot start " + argv[0]);
  }
  // The pipe closes at exec; an errno on it is the child's failure before it.
  int childError = 0;
  ssize_t got = 0;
  do {
    got = ::read(report[0], &childError, sizeof childError);
  } while (got < 0 && errno == EINTR);
  ::close(report[0]);
  if (got != static_cast<ssize_t>(sizeof childError)) return pid;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return Status::fromErrno(childError).context("cannot start " + argv[0]);
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
