#pragma once
// A test disk: the real one, but running out of space once `capacity` bytes have
// been written (in total, over all files, from any thread): writes then fail
// part-way with ENOSPC, or with the chosen error number. Or one of the system
// calls that make a file (create, write, close, rename) fails every time.

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <limits>
#include <mutex>
#include <string_view>

#include "host/io/disk_interface.h"

namespace cohortix::testing {

enum class DiskCall { None, Create, Write, Close, Rename };

class FailingDiskInterface : public host::RealDiskInterface {
 public:
  explicit FailingDiskInterface(std::size_t capacity, int errorNumber = ENOSPC)
      : capacity_(capacity), errorNumber_(errorNumber) {}
  // Every `call` fails with errorNumber; the disk has room enough.
  FailingDiskInterface(DiskCall call, int errorNumber)
      : capacity_(std::numeric_limits<std::size_t>::max()), errorNumber_(errorNumber),
        failing_(call) {}

 protected:
  int createFile(const std::filesystem::path& path) override {
    if (failing_ == DiskCall::Create) return failed(-1);
    return RealDiskInterface::createFile(path);
  }
  bool writeBytes(int fd, std::string_view bytes) override {
    if (failing_ == DiskCall::Write) return failed(false);
    const std::lock_guard<std::mutex> lock(mutex_);
    const std::size_t allowed = std::min(bytes.size(), capacity_);
    if (!RealDiskInterface::writeBytes(fd, bytes.substr(0, allowed))) return false;
    capacity_ -= allowed;
    if (allowed == bytes.size()) return true;
    errno = errorNumber_;
    return false;
  }
  // Closed all the same, as close() does even when it reports a failure.
  int closeFile(int fd) override {
    const int closed = RealDiskInterface::closeFile(fd);
    return failing_ == DiskCall::Close ? failed(-1) : closed;
  }
  int renameFile(const std::filesystem::path& from, const std::filesystem::path& to) override {
    if (failing_ == DiskCall::Rename) return failed(-1);
    return RealDiskInterface::renameFile(from, to);
  }

 private:
  template <typename T>
  T failed(T result) {
    errno = errorNumber_;
    return result;
  }

  std::mutex mutex_;
  std::size_t capacity_;
  int errorNumber_;
  DiskCall failing_ = DiskCall::None;
};

}  // namespace cohortix::testing
