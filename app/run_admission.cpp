#include "app/run_admission.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "app/leftover_temporaries.h"

namespace cohortix::app {

namespace fs = std::filesystem;

host::Status controlFileReadable(const fs::path& path) {
  // Non-blocking: opening a FIFO for reading must not wait for a writer.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0)
    return host::Status::error("cannot read the control file " + path.string() + ": " +
                               std::strerror(errno));
  ::close(fd);
  return regularFileOrAbsent(path);
}

host::Status regularFileOrAbsent(const fs::path& path) {
  struct stat about {};
  if (::stat(path.c_str(), &about) != 0 || S_ISREG(about.st_mode)) return host::Status::ok();
  return host::Status::error(path.string() + " is not a regular file");
}

host::Status folderOrMissing(const fs::path& path, const std::string& what) {
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (!fs::exists(status) || fs::is_directory(status)) return host::Status::ok();
  return host::Status::error(what + " " + path.string() + " is not a folder");
}

host::Status writableFolder(const fs::path& folder, const std::string& what) {
  if (::access(folder.c_str(), W_OK | X_OK) == 0) return host::Status::ok();
  return host::Status::error("cannot create files in " + what + " " + folder.string() + ": " +
                             std::strerror(errno));
}

std::vector<fs::path> filesOfExperiment(const fs::path& folder, const std::string& experimentName) {
  std::vector<fs::path> files;
  std::error_code error;
  for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
       entry.increment(error)) {
    // A folder under an output name is no earlier output; the write into it fails
    // and says so.
    if (entry->is_directory(error)) continue;
    if (isOutputOfExperiment(entry->path().filename().string(), experimentName))
      files.push_back(entry->path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

host::Status clearEarlierRun(const fs::path& folder, const std::string& experimentName, bool force) {
  const std::vector<fs::path> earlier = filesOfExperiment(folder, experimentName);
  if (earlier.empty()) return host::Status::ok();
  if (!force)
    return host::Status::error(
        folder.string() + " already holds files of a run of " + experimentName + " (" +
        earlier.front().filename().string() + " and " + std::to_string(earlier.size() - 1) +
        " more); give --force to replace that run, or choose another folder");
  for (const fs::path& file : earlier) {
    std::error_code error;
    if (!fs::remove(file, error) && error)
      return host::Status::error("cannot remove " + file.string() + " of the earlier run: " +
                                 error.message());
  }
  return host::Status::ok();
}

host::Status RunLocks::take(const fs::path& folder) {
  if (holds(folder)) return host::Status::ok();
  host::Result<host::FolderLock> lock = host::FolderLock::take(folder);
  if (!lock) return lock.status();
  folders_.push_back(folder);
  locks_.push_back(std::move(lock).value());
  return host::Status::ok();
}

bool RunLocks::holds(const fs::path& folder) const {
  std::error_code error;
  return std::any_of(folders_.begin(), folders_.end(), [&](const fs::path& held) {
    return fs::equivalent(held, folder, error);
  });
}

}  // namespace cohortix::app
