#include "host/io/result_folder.h"

#include <unistd.h>

#include <system_error>

namespace cohortix::host {
namespace {

namespace fs = std::filesystem;

constexpr char kStaging[] = ".cohortix-staging-";
constexpr char kReplaced[] = ".cohortix-replaced-";

Status failed(const std::error_code& error, const std::string& what) {
  return Status::fromErrno(error.value()).context(what);
}

// Staging and replaced folders of commands killed before they finished.
Status removeLeftovers(const fs::path& folder) {
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (!name.starts_with(kStaging) && !name.starts_with(kReplaced)) continue;
    std::error_code removed;
    fs::remove_all(it->path(), removed);
    if (removed) return failed(removed, "cannot remove " + it->path().string());
  }
  if (error) return failed(error, "cannot list " + folder.string());
  return Status::ok();
}

}  // namespace

fs::path ResultFolder::stagingIn(const fs::path& folder) {
  return folder / (kStaging + std::to_string(::getpid()));
}

Result<ResultFolder> ResultFolder::open(const fs::path& folder, ResultKind kind, bool force) {
  std::error_code error;
  fs::create_directories(folder, error);
  if (error) return failed(error, "cannot create " + folder.string());
  Result<FolderLock> lock = FolderLock::take(folder);
  if (!lock) return lock.status();
  if (Status cleared = removeLeftovers(folder); !cleared) return cleared;
  bool earlier = false;
  for (const std::string& marker : kind.markers) {
    if (!fs::exists(folder / marker, error)) continue;
    if (!force)
      return Status::error(folder.string() + " holds " + kind.what + " already (" + marker +
                           "): give --force to replace it, or another output folder");
    earlier = true;
  }
  ResultFolder result(folder, std::move(kind), std::move(lock).value());
  result.replacing_ = earlier;
  if (!result.kind_.staged) {
    result.staging_.clear();
    return result;
  }
  fs::create_directory(result.staging_, error);
  if (error) return failed(error, "cannot create " + result.staging_.string());
  return result;
}

ResultFolder::ResultFolder(fs::path folder, ResultKind kind, FolderLock lock)
    : folder_(std::move(folder)),
      staging_(stagingIn(folder_)),
      kind_(std::move(kind)),
      lock_(std::move(lock)) {}

ResultFolder::ResultFolder(ResultFolder&& other) noexcept
    : folder_(std::move(other.folder_)),
      staging_(std::move(other.staging_)),
      kind_(std::move(other.kind_)),
      lock_(std::move(other.lock_)),
      replacing_(other.replacing_) {
  other.staging_.clear();
}

ResultFolder::~ResultFolder() {
  if (staging_.empty()) return;
  std::error_code ignored;
  fs::remove_all(staging_, ignored);
}

Status ResultFolder::commit() {
  std::error_code error;
  const fs::path replaced = folder_ / (kReplaced + std::to_string(::getpid()));
  fs::create_directory(replaced, error);
  if (error) return failed(error, "cannot create " + replaced.string());
  for (const std::string& entry : replacing_ ? kind_.entries : std::vector<std::string>()) {
    if (!fs::exists(folder_ / entry, error)) continue;
    fs::rename(folder_ / entry, replaced / entry, error);
    if (error) return failed(error, "cannot move the earlier " + (folder_ / entry).string() + " aside");
  }
  std::vector<fs::path> staged;
  for (fs::directory_iterator it(staging_, error), end; !error && it != end; it.increment(error))
    staged.push_back(it->path().filename());
  if (error) return failed(error, "cannot list " + staging_.string());
  for (const fs::path& name : staged) {
    fs::rename(staging_ / name, folder_ / name, error);
    if (error) return failed(error, "cannot put " + (folder_ / name).string() + " in place");
  }
  fs::remove_all(replaced, error);
  fs::remove(staging_, error);
  staging_.clear();
  return Status::ok();
}

Status ResultFolder::removeEarlier() {
  std::error_code error;
  for (const std::string& entry : replacing_ ? kind_.entries : std::vector<std::string>()) {
    fs::remove_all(folder_ / entry, error);
    if (error) return failed(error, "cannot remove the earlier " + (folder_ / entry).string());
  }
  replacing_ = false;
  return Status::ok();
}

}  // namespace cohortix::host
