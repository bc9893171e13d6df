#include "host/export_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>
#include <system_error>

namespace cohortix::host {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void failWith(const fs::path& file, const std::string& reason) {
  throw std::runtime_error("cannot write " + file.string() + ": " + reason);
}

// A hidden name with the final name at its end, so ".nii.gz" stays the suffix.
fs::path temporaryPathFor(const fs::path& file) {
  const std::string prefix = ".partial-" + std::to_string(::getpid()) + "-";
  return file.parent_path() / (prefix + file.filename().string());
}

// The bytes must be on disk before the rename makes them visible under the final
// name; otherwise a crash could leave a complete name over incomplete data.
void syncToDisk(const fs::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw std::system_error(errno, std::generic_category());
  const int result = ::fsync(fd);
  const int error = errno;
  ::close(fd);
  if (result != 0) throw std::system_error(error, std::generic_category());
}

void writeAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = ::write(fd, text.data(), text.size());
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) throw std::system_error(errno, std::generic_category());
    text.remove_prefix(static_cast<std::size_t>(written));
  }
}

void writeTextTo(const fs::path& path, std::string_view text) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) throw std::system_error(errno, std::generic_category());
  try {
    writeAll(fd, text);
  } catch (...) {
    ::close(fd);
    throw;
  }
  if (::close(fd) != 0) throw std::system_error(errno, std::generic_category());
}

}  // namespace

void writeExportFile(const fs::path& file, const std::function<void(const fs::path&)>& write) {
  const fs::path temporary = temporaryPathFor(file);
  try {
    write(temporary);
    syncToDisk(temporary);
    fs::rename(temporary, file);
  } catch (const std::system_error& error) {
    std::error_code ignored;
    fs::remove(temporary, ignored);
    failWith(file, error.code().message());
  } catch (const std::exception& error) {
    std::error_code ignored;
    fs::remove(temporary, ignored);
    failWith(file, error.what());
  }
}

void writeExportText(const fs::path& file, std::string_view text) {
  writeExportFile(file, [text](const fs::path& temporary) { writeTextTo(temporary, text); });
}

}  // namespace cohortix::host
