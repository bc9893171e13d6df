#include "host/io/temporary_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <random>

#include "host/io/file_descriptors.h"

namespace cohortix::host {
namespace {

constexpr std::size_t kRandomCharacters = 5;
constexpr std::size_t kPrefixBytes = sizeof kTemporaryPrefix - 1;

constexpr char kCharacters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
constexpr std::size_t kCharacterCount = sizeof kCharacters - 1;

bool isRandomCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// The system's own source of randomness: the names cannot be guessed from earlier
// ones.
std::string randomPart() {
  std::random_device source;
  std::string part;
  for (std::size_t i = 0; i < kRandomCharacters; ++i) part += kCharacters[source() % kCharacterCount];
  return part;
}

#ifndef O_NOFOLLOW
#define O_NOFOLLOW 0  // Windows: no symbolic links to follow in an output folder
#endif

// Whether a process still writes the file: it holds its lock.
bool stillWritten(const std::filesystem::path& path) {
  const int fd = openFile(path, O_RDONLY | O_NOFOLLOW);
  if (fd < 0) return true;  // gone meanwhile, or not ours to judge
  const bool locked = lockFile(fd) != 0;
  ::close(fd);
  return locked;
}

}  // namespace

std::filesystem::path temporaryNameFor(const std::filesystem::path& final) {
  return final.parent_path() /
         (kTemporaryPrefix + randomPart() + "-" + final.filename().string());
}

std::string finalNameOf(std::string_view name) {
  if (name.size() <= kTemporaryNameExtraBytes || name.substr(0, kPrefixBytes) != kTemporaryPrefix)
    return {};
  const std::string_view random = name.substr(kPrefixBytes, kRandomCharacters);
  for (const char c : random)
    if (!isRandomCharacter(c)) return {};
  if (name[kTemporaryNameExtraBytes - 1] != '-') return {};
  return std::string(name.substr(kTemporaryNameExtraBytes));
}

int removeLeftoverTemporaries(const std::filesystem::path& folder,
                              const std::function<bool(std::string_view)>& wanted) {
  int removed = 0;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    const std::string name = entry.path().filename().string();
    const std::string final = finalNameOf(name);
    if (final.empty() || !wanted(final) || !entry.is_regular_file(error)) continue;
    if (stillWritten(entry.path())) continue;
    if (std::filesystem::remove(entry.path(), error)) ++removed;
  }
  return removed;
}

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

int TemporaryFiles::renameIntoPlace(const std::string& temporary, const std::function<int()>& rename) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (kept_.erase(temporary) == 0) return ECANCELED;
  if (rename() == 0) return 0;
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
