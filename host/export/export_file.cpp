#include "host/export/export_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "host/io/disk_interface.h"
#include "host/io/file_descriptors.h"

namespace cohortix::host {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void failWith(const fs::path& file, const std::string& reason) {
  throw ExportError(file, "cannot write " + file.string() + ": " + reason);
}

// A hidden name with the final name at its end, so ".nii.gz" stays the suffix.
fs::path temporaryPathFor(const fs::path& file) {
  const std::string prefix = ".partial-" + std::to_string(::getpid()) + "-";
  return file.parent_path() / (prefix + file.filename().string());
}

// The bytes must be on disk before the rename makes them visible under the final
// name; otherwise a crash could leave a complete name over incomplete data.
void syncToDisk(const fs::path& path) {
  const int fd = openFile(path, O_RDONLY);
  if (fd < 0) throw std::system_error(errno, std::generic_category());
  const int result = syncFile(fd);
  const int error = errno;
  ::close(fd);
  if (result != 0) throw std::system_error(error, std::generic_category());
}

void removeQuietly(const fs::path& path) {
  std::error_code ignored;
  fs::remove(path, ignored);
}

void keep(TemporaryFiles* kept, const fs::path& file, const fs::path& temporary) {
  if (kept != nullptr && !kept->create(temporary.string(), [] { return true; }))
    failWith(file, std::strerror(errno));
}

void moveIntoPlace(TemporaryFiles* kept, const fs::path& temporary, const fs::path& file) {
  if (kept == nullptr) return fs::rename(temporary, file);
  const int failure = kept->renameIntoPlace(temporary.string(), file.string());
  if (failure != 0) throw std::system_error(failure, std::generic_category());
}

// The library may have made the file after the disk let go of it: remove it by name
// as well.
void removeTemporary(TemporaryFiles* kept, const fs::path& temporary) {
  if (kept != nullptr) kept->discard(temporary.string());
  removeQuietly(temporary);
}

}  // namespace

void writeExportFile(DiskInterface& disk, const fs::path& file,
                     const std::function<void(const fs::path&)>& write) {
  const fs::path temporary = temporaryPathFor(file);
  TemporaryFiles* kept = disk.temporaries();
  keep(kept, file, temporary);
  try {
    write(temporary);
    syncToDisk(temporary);
    moveIntoPlace(kept, temporary, file);
  } catch (const std::system_error& error) {
    removeTemporary(kept, temporary);
    failWith(file, error.code().message());
  } catch (const std::exception& error) {
    removeTemporary(kept, temporary);
    failWith(file, error.what());
  }
}

void writeExportText(DiskInterface& disk, const fs::path& file, std::string_view text) {
  const std::string_view parts[] = {text};
  const Status written = disk.writeFile(file, parts);
  if (!written) failWith(file, written.message());
}

void makeExportFolder(DiskInterface& disk, const fs::path& folder) {
  const Status made = disk.makeDirs(folder);
  if (!made) throw ExportError(folder, made.context("cannot create " + folder.string()).message());
}

}  // namespace cohortix::host
