#include "host/io/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>

namespace cohortix::host {

long lockHolderOf(unsigned long long device, unsigned long long inode) {
  // Lines read "1: FLOCK  ADVISORY  WRITE 1234 08:01:5678 0 EOF"; a waiter's line has
  // "->" after the number and holds nothing.
  std::ifstream locks("/proc/locks");
  std::string line;
  while (std::getline(locks, line)) {
    std::istringstream fields(line);
    std::string number, kind, mode, access, pid, where;
    if (!(fields >> number >> kind >> mode >> access >> pid >> where) || kind == "->") continue;
    unsigned int major = 0, minor = 0;
    unsigned long long node = 0;
    if (std::sscanf(where.c_str(), "%x:%x:%llu", &major, &minor, &node) != 3) continue;
    if (node == inode && makedev(major, minor) == device) return std::atol(pid.c_str());
  }
  return 0;
}

Result<FolderLock> FolderLock::take(const std::filesystem::path& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0)
    return Status::error(std::strerror(errno)).context("cannot lock the folder " + folder.string());
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return FolderLock(fd);
  const int failure = errno;
  struct stat about {};
  long holder = 0;
  if (failure == EWOULDBLOCK && ::fstat(fd, &about) == 0) holder = lockHolderOf(about.st_dev, about.st_ino);
  ::close(fd);
  if (failure != EWOULDBLOCK)
    return Status::error(std::strerror(failure)).context("cannot lock the folder " + folder.string());
  const std::string who = holder > 0 ? "another run (process " + std::to_string(holder) + ")"
                                     : "another run";
  return Status::error(who + " is writing into " + folder.string() +
                       "; wait for it to finish or choose another folder");
}

FolderLock::FolderLock(FolderLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

FolderLock& FolderLock::operator=(FolderLock&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

FolderLock::~FolderLock() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace cohortix::host
