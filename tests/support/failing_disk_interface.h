#pragma once
// A test disk: the real one, but running out of space once `capacity` bytes have
// been written (in total, over all files, from any thread): writes then fail
// part-way with ENOSPC, or with the chosen error number.

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <mutex>
#include <string_view>

#include "host/io/disk_interface.h"

namespace cohortix::testing {

class FailingDiskInterface : public host::RealDiskInterface {
 public:
  explicit FailingDiskInterface(std::size_t capacity, int errorNumber = ENOSPC)
      : capacity_(capacity), errorNumber_(errorNumber) {}

 protected:
  bool writeBytes(int fd, std::string_view bytes) override {
    const std::lock_guard<std::mutex> lock(mutex_);
    const std::size_t allowed = std::min(bytes.size(), capacity_);
    if (!RealDiskInterface::writeBytes(fd, bytes.substr(0, allowed))) return false;
    capacity_ -= allowed;
    if (allowed == bytes.size()) return true;
    errno = errorNumber_;
    return false;
  }

 private:
  std::mutex mutex_;
  std::size_t capacity_;
  int errorNumber_;
};

}  // namespace cohortix::testing
