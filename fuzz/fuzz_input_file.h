#pragma once
// What every harness here needs: the input as a file in memory, reopened by path
// for every read, and a check that traps (a crash the fuzzer keeps) when a
// promise does not hold.

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace cohortix::fuzz {

class InputFile {
 public:
  explicit InputFile(const char* name) : fd_(memfd_create(name, 0)) {
    std::snprintf(path_, sizeof path_, "/proc/self/fd/%d", fd_);
  }
  void write(const uint8_t* data, size_t size) {
    if (ftruncate(fd_, 0) != 0 || (size > 0 && pwrite(fd_, data, size, 0) != static_cast<ssize_t>(size)))
      __builtin_trap();
  }
  const char* path() const { return path_; }

 private:
  int fd_;
  char path_[64];
};

inline void require(bool holds) {
  if (!holds) __builtin_trap();
}

// A refusal is one line that begins as promised.
inline void requireOneLine(const std::string& message, const std::string& start) {
  require(!message.empty() && message.find('\n') == std::string::npos);
  require(message.compare(0, start.size(), start) == 0);
}

}  // namespace cohortix::fuzz
