#pragma once
// One run at a time per output folder: an advisory lock on the folder itself, held
// for the run and let go when the process ends, however it ends. A second run into
// the same folder is refused at once and told which process holds it.

#include <filesystem>

#include "host/io/status.h"

namespace cohortix::host {

class FolderLock {
 public:
  // Locks the folder, which must exist; refused when another process holds it,
  // naming the folder and that process where the system tells it.
  static Result<FolderLock> take(const std::filesystem::path& folder);

  FolderLock(FolderLock&& other) noexcept;
  FolderLock& operator=(FolderLock&& other) noexcept;
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;
  ~FolderLock();

 private:
  explicit FolderLock(int fd) : fd_(fd) {}
  int fd_ = -1;
};

// The process that holds a lock on the file with this device and inode, from the
// system's table of locks; 0 when it cannot be told.
long lockHolderOf(unsigned long long device, unsigned long long inode);

}  // namespace cohortix::host
