#include "app/output_streams.h"

#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <iostream>
#include <mutex>
#include <streambuf>
#include <string>

namespace cohortix::app {
namespace {

// How long the stop path waits for a line under way, or for the standard error to
// take its own. A reader that stalls longer does not hold the process.
constexpr std::chrono::milliseconds kPatience{200};

std::timed_mutex& printLock() {
  static std::timed_mutex lock;
  return lock;
}

std::atomic<bool> silenced{false};

// Writes all of bytes to fd; 0, or the errno of the failure.
int writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t count = ::write(fd, bytes.data(), bytes.size());
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return errno;
    bytes.remove_prefix(static_cast<std::size_t>(count));
  }
  return 0;
}

class LineBuffer : public std::streambuf {
 public:
  LineBuffer(int fd, const char* name) : fd_(fd), name_(name) {}

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char byte = traits_type::to_char_type(c);
    xsputn(&byte, 1);
    return c;
  }
  std::streamsize xsputn(const char* text, std::streamsize count) override {
    pending_.append(text, static_cast<std::size_t>(count));
    const std::size_t end = pending_.rfind('\n');
    if (end != std::string::npos) put(end + 1);
    return count;
  }
  // An explicit flush writes what there is, a progress line without its end too.
  int sync() override {
    put(pending_.size());
    return 0;
  }

 private:
  void put(std::size_t bytes) {
    const std::string text = pending_.substr(0, bytes);
    pending_.erase(0, bytes);
    int failure = 0;
    {
      const std::lock_guard<std::timed_mutex> lock(printLock());
      if (silenced || gone_ || text.empty()) return;
      failure = writeAll(fd_, text);
      if (failure != 0) gone_ = true;
    }
    if (failure != 0 && fd_ != STDERR_FILENO)
      std::cerr << "cohortix: cannot write to the " << name_ << ": " << std::strerror(failure)
                << '\n';
  }


 public:
  bool failed() const {
    const std::lock_guard<std::timed_mutex> lock(printLock());
    return gone_;
  }

 private:
  int fd_;
  const char* name_;
  std::string pending_;
  bool gone_ = false;
};

LineBuffer standardOutput(STDOUT_FILENO, "standard output");
LineBuffer standardError(STDERR_FILENO, "standard error");

}  // namespace

OutputStreams::OutputStreams() {
  std::cout.flush();
  std::cerr.flush();
  previousOutput_ = std::cout.rdbuf(&standardOutput);
  previousError_ = std::cerr.rdbuf(&standardError);
  // Lines are whole before they are written; the buffer itself writes each line.
  std::cerr.unsetf(std::ios::unitbuf);
}

OutputStreams::~OutputStreams() {
  std::cout.flush();
  std::cerr.flush();
  std::cout.rdbuf(previousOutput_);
  std::cerr.rdbuf(previousError_);
  std::cerr.setf(std::ios::unitbuf);
}

bool standardOutputFailed() {
  std::cout.flush();
  return standardOutput.failed();
}

void silenceOutput() {
  silenced = true;
  // Held until the process ends: once taken, no line is half written.
  static_cast<void>(printLock().try_lock_for(kPatience));
}

void writeLastLine(std::string_view line) {
  pollfd error{STDERR_FILENO, POLLOUT, 0};
  if (::poll(&error, 1, static_cast<int>(kPatience.count())) != 1 || !(error.revents & POLLOUT))
    return;
  static_cast<void>(::write(STDERR_FILENO, line.data(), line.size()));
}

}  // namespace cohortix::app
