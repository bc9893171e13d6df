#include "host/io/disk_interface.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "control/output_names.h"
#include "host/io/file_descriptors.h"

namespace cohortix::host {
namespace {

// Output names are refused early when they would not fit with this suffix.
static_assert(sizeof kTemporarySuffix - 1 <= kMaxTemporarySuffixBytes);

std::string randomSuffix() {
  static constexpr char kCharacters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  thread_local std::mt19937 generator{std::random_device{}()};
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kCharacters - 2);
  std::string suffix = kTemporarySuffix;
  for (char& c : suffix)
    if (c == 'X') c = kCharacters[pick(generator)];
  return suffix;
}

// Creates a new temporary file beside path, kept by temporaries; -1 with errno set
// on failure. The mode leaves the permissions to the umask, as for any file the
// user creates.
int createTemporary(TemporaryFiles& temporaries, const std::filesystem::path& path,
                    std::string* temporary) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    *temporary = path.string() + randomSuffix();
    int fd = -1;
    const auto open = [&] {
      fd = openFile(*temporary, O_WRONLY | O_CREAT | O_EXCL, 0666);
      return fd >= 0;
    };
    if (temporaries.create(*temporary, open)) return fd;
    if (errno != EEXIST) return -1;
  }
  return -1;
}

}  // namespace

Status RealDiskInterface::makeDirs(const std::filesystem::path& folder) {
  std::error_code code;
  std::filesystem::create_directories(folder, code);
  if (code) return Status::fromErrno(code.value());
  if (!std::filesystem::is_directory(folder, code)) return Status::fromErrno(ENOTDIR);
  return Status::ok();
}

Status RealDiskInterface::writeFile(const std::filesystem::path& path,
                                    std::span<const std::string_view> parts) {
  std::string temporary;
  const int fd = createTemporary(temporaries_, path, &temporary);
  if (fd < 0) return Status::fromErrno(errno);
  bool written = true;
  for (const std::string_view part : parts) {
    written = writeBytes(fd, part);
    if (!written) break;
  }
  const int writeError = errno;
  // A full disk may show itself only when the file is closed.
  const bool closed = ::close(fd) == 0;
  const int closeError = errno;
  if (!written || !closed) {
    temporaries_.discard(temporary);
    return Status::fromErrno(!written ? writeError : closeError);
  }
  const int failure = temporaries_.renameIntoPlace(temporary, path.string());
  return failure == 0 ? Status::ok() : Status::fromErrno(failure);
}

bool RealDiskInterface::writeBytes(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    // One call writes at most 1 GiB: the Windows C library counts in int.
    const std::size_t chunk = std::min<std::size_t>(bytes.size(), std::size_t{1} << 30);
    const ssize_t count = ::write(fd, bytes.data(), chunk);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(count));
  }
  return true;
}

Result<std::string> RealDiskInterface::readFile(const std::filesystem::path& path) {
  const int fd = openFile(path, O_RDONLY);
  if (fd < 0) return Status::fromErrno(errno);
  std::string contents;
  char buffer[1 << 16];
  for (;;) {
    const ssize_t count = ::read(fd, buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) {
      const int readError = errno;
      ::close(fd);
      if (count < 0) return Status::fromErrno(readError);
      return contents;
    }
    contents.append(buffer, static_cast<std::size_t>(count));
  }
}

}  // namespace cohortix::host
