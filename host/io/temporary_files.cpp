#include "host/io/temporary_files.h"

#include <unistd.h>

#include <cerrno>

#include "host/io/file_descriptors.h"

namespace cohortix::host {

bool TemporaryFiles::create(const std::string& temporary, const std::function<bool()>& create) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (abandoned_) {
    errno = ECANCELED;
    return false;
  }
  if (!create()) return false;
  kept_.insert(temporary);
  return true;
}

int TemporaryFiles::renameIntoPlace(const std::string& temporary, const std::string& final) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (kept_.erase(temporary) == 0) return ECANCELED;
  if (replaceFile(temporary, final) == 0) return 0;
  const int failure = errno;
  ::unlink(temporary.c_str());
  return failure;
}

void TemporaryFiles::discard(const std::string& temporary) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (kept_.erase(temporary) != 0) ::unlink(temporary.c_str());
}

void TemporaryFiles::abandon() {
  const std::lock_guard<std::mutex> lock(mutex_);
  abandoned_ = true;
  for (const std::string& temporary : kept_) ::unlink(temporary.c_str());
  kept_.clear();
}

}  // namespace cohortix::host
