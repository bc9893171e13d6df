#include "host/io/disk_interface.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>

#include "control/output_names.h"
#include "host/io/direct_writes.h"
#include "host/io/file_descriptors.h"

namespace cohortix::host {
namespace {

// Output names are refused early when they would not fit with a temporary's prefix.
static_assert(kTemporaryNameExtraBytes <= kMaxTemporarySuffixBytes);

// The most one write() call takes, and the buffer of a file written past the
// cache. Between two pieces an abandoned write stops, so an interrupted run does
// not wait for a large file to reach the disk.
constexpr std::size_t kPieceBytes = std::size_t{8} << 20;
static_assert(kPieceBytes % kDirectBlockBytes == 0);

class PieceSink : public FileSink {
 public:
  explicit PieceSink(std::function<Status(std::string_view)> write) : write_(std::move(write)) {}
  Status write(std::string_view bytes) override { return write_(bytes); }

 private:
  std::function<Status(std::string_view)> write_;
};

// The parts one after the other.
FileWriter writerOfParts(std::span<const std::string_view> parts) {
  return [parts](FileSink& sink) {
    for (const std::string_view part : parts) {
      Status written = sink.write(part);
      if (!written) return written;
    }
    return Status::ok();
  };
}

}  // namespace

Status DiskInterface::writeFile(const std::filesystem::path& path,
                                std::span<const std::string_view> parts) {
  return writeFileWith(path, writerOfParts(parts));
}

Status DiskInterface::removeFile(const std::filesystem::path& path) {
  std::error_code code;
  std::filesystem::remove(path, code);
  return code ? Status::fromErrno(code.value()) : Status::ok();
}

Status RealDiskInterface::makeDirs(const std::filesystem::path& folder) {
  // Nor a folder once the writes are abandoned: it could outlive a cleared staging.
  if (temporaries_.abandoned()) return Status::cancelled();
  std::error_code code;
  std::filesystem::create_directories(folder, code);
  if (code) return Status::fromErrno(code.value());
  if (!std::filesystem::is_directory(folder, code)) return Status::fromErrno(ENOTDIR);
  return Status::ok();
}

int RealDiskInterface::createTemporary(const std::filesystem::path& path, std::string* temporary) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    *temporary = temporaryNameFor(path).string();
    int fd = -1;
    const auto create = [&] {
      fd = createFile(*temporary);
      // Held until the file is closed: a run that starts meanwhile leaves it alone.
      if (fd >= 0) static_cast<void>(lockFile(fd));
      return fd >= 0;
    };
    if (temporaries_.create(*temporary, create)) return fd;
    if (errno != EEXIST) return -1;
  }
  return -1;
}

Status RealDiskInterface::writePieces(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    if (temporaries_.abandoned()) return Status::cancelled();
    const std::size_t piece = std::min(bytes.size(), kPieceBytes);
    if (!writeBytes(fd, bytes.substr(0, piece))) return Status::fromErrno(errno);
    bytes.remove_prefix(piece);
  }
  return Status::ok();
}

Status RealDiskInterface::writeFileWith(const std::filesystem::path& path, const FileWriter& write) {
  return writeFileCommitting(path, write, commits_ != nullptr);
}

Status RealDiskInterface::writeFileNow(const std::filesystem::path& path,
                                       std::span<const std::string_view> parts) {
  return writeFileCommitting(path, writerOfParts(parts), false);
}

Status RealDiskInterface::writeFileCommitting(const std::filesystem::path& path,
                                              const FileWriter& write, bool behind) {
  std::string temporary;
  const int fd = createTemporary(path, &temporary);
  if (fd < 0) return Status::fromErrno(errno);
  uint64_t bytes = 0;
  WriteObserver* observer = observer_.load();
  const std::shared_ptr<WriteObserver::File> watched =
      observer != nullptr ? observer->begin(path) : nullptr;
  DirectStaging staging(kPieceBytes, fd,
                        [this, fd](std::string_view piece) { return writePieces(fd, piece); });
  PieceSink sink([&bytes, &staging, &watched](std::string_view piece) {
    bytes += piece.size();
    if (watched) watched->add(piece);
    return staging.append(piece);
  });
  Status status;
  try {
    status = write(sink);
    if (status) status = staging.finish();
  } catch (const std::bad_alloc&) {
    status = Status::error("not enough memory to write it");
  } catch (...) {
    // Whatever the writer threw, its temporary must not outlive it.
    staging.abandon();
    static_cast<void>(closeFile(fd));
    temporaries_.discard(temporary);
    throw;
  }
  if (!status) {
    staging.abandon();
    static_cast<void>(closeFile(fd));
    temporaries_.discard(temporary);
    return status;
  }
  if (!behind) return commit(fd, temporary, path, bytes, watched);
  commits_->push([this, fd, temporary, path, bytes, watched] {
    return commit(fd, temporary, path, bytes, watched).aboutFile(path.string());
  });
  return Status::ok();
}

Status RealDiskInterface::commit(int fd, const std::string& temporary,
                                 const std::filesystem::path& path, uint64_t bytes,
                                 const std::shared_ptr<WriteObserver::File>& watched) {
  // The bytes must be on the disk before the rename shows them under the final
  // name: otherwise a power loss could leave that name over an empty file.
  Status status;
  if (syncFile(fd) != 0) status = Status::fromErrno(errno);
  const bool closed = closeFile(fd) == 0;
  if (status && !closed) status = Status::fromErrno(errno);
  if (!status) {
    temporaries_.discard(temporary);
    return status;
  }
  const int failure = temporaries_.renameIntoPlace(
      temporary, [&] { return renameFile(temporary, path); });
  if (failure != 0) return Status::fromErrno(failure);
  bytesWritten_ += bytes;
  ++filesWritten_;
  if (watched) watched->inPlace();
  return Status::ok();
}

void RealDiskInterface::commitBehind(bool on) {
  if (on && !commits_) commits_ = std::make_unique<CommitQueue>();
  if (!on && commits_) {
    for (Status& failed : commits_->settle()) commitFailures_.push_back(std::move(failed));
    commits_.reset();
  }
}

std::vector<Status> RealDiskInterface::settle() {
  std::vector<Status> failures = std::move(commitFailures_);
  commitFailures_.clear();
  if (commits_)
    for (Status& failed : commits_->settle()) failures.push_back(std::move(failed));
  return failures;
}

void RealDiskInterface::waitForCommits() {
  if (commits_) commits_->drain();
}

Status RealDiskInterface::removeFile(const std::filesystem::path& path) {
  waitForCommits();
  Status removed = DiskInterface::removeFile(path);
  if (WriteObserver* observer = observer_.load(); removed && observer != nullptr)
    observer->removed(path);
  return removed;
}

int RealDiskInterface::createFile(const std::filesystem::path& path) { return createNewFile(path); }

bool RealDiskInterface::writeBytes(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t count = ::write(fd, bytes.data(), bytes.size());
    if (count < 0 && errno == EINTR) continue;
    // A write past the cache that the file system will not take as it is (a
    // stricter alignment, or the unaligned rest after a short write) goes through
    // the cache instead.
    if (count < 0 && errno == EINVAL && writesDirect(fd)) {
      stopDirectWrites(fd);
      continue;
    }
    if (count < 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(count));
  }
  return true;
}

int RealDiskInterface::closeFile(int fd) { return ::close(fd); }

int RealDiskInterface::renameFile(const std::filesystem::path& from,
                                  const std::filesystem::path& to) {
  return replaceFile(from, to);
}

Result<std::string> RealDiskInterface::readFile(const std::filesystem::path& path) {
  waitForCommits();
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
