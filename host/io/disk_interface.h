#pragma once
// Everything the host does with files goes through a DiskInterface, so tests can
// stand in a disk that fails. It is the one place where the host's files are
// created: every file, native or export, is written under a temporary name beside
// its final one (host/io/temporary_files.h), flushed to the disk and only then
// renamed to its final name, so no half-written file ever carries a final name,
// not even after a power loss.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "host/io/status.h"
#include "host/io/temporary_files.h"

namespace cohortix::host {

// Where the bytes of a file go while it is written.
class FileSink {
 public:
  virtual ~FileSink() = default;
  // Appends the bytes to the file.
  virtual Status write(std::string_view bytes) = 0;
};

// Hands the bytes of a file to the sink, in as many pieces as it likes: a file
// need not be whole in memory.
using FileWriter = std::function<Status(FileSink& sink)>;

class DiskInterface {
 public:
  virtual ~DiskInterface() = default;

  // Failures carry the system's reason alone ("Permission denied"); the caller says
  // what it was doing.

  // Creates the folder and any missing parents.
  virtual Status makeDirs(const std::filesystem::path& folder) = 0;

  // Makes the file at path of what `write` hands to its sink, whole or not at all.
  // When `write` fails, its status is the answer.
  virtual Status writeFileWith(const std::filesystem::path& path, const FileWriter& write) = 0;

  // The parts one after the other as the whole file at path, or nothing.
  Status writeFile(const std::filesystem::path& path, std::span<const std::string_view> parts);

  virtual Result<std::string> readFile(const std::filesystem::path& path) = 0;

  // The files written whole so far and their bytes, from any thread (none where a
  // disk does not count them).
  struct Written {
    uint64_t files = 0;
    uint64_t bytes = 0;
  };
  virtual Written written() const { return {}; }
  // Removes the file at path; a file already missing is no failure.
  virtual Status removeFile(const std::filesystem::path& path);
};

class RealDiskInterface : public DiskInterface {
 public:
  Status makeDirs(const std::filesystem::path& folder) override;
  Status writeFileWith(const std::filesystem::path& path, const FileWriter& write) override;
  Result<std::string> readFile(const std::filesystem::path& path) override;
  Written written() const override { return {filesWritten_, bytesWritten_}; }

  // Ends every write under way, from any thread: removes their temporary files and
  // makes them and every later write fail, cancelled (Status::isCancelled). Once it
  // returns, no file appears under a final name any more and no temporary is left
  // behind: what a process about to end in the middle of a run needs.
  void abandonWrites() { temporaries_.abandon(); }

 protected:
  // The seams where a test disk fails: each acts as the system call it names.
  // Creates a new file (createNewFile): a descriptor, or -1 with errno set.
  virtual int createFile(const std::filesystem::path& path);
  // Writes all the bytes to the open file; false with errno set.
  virtual bool writeBytes(int fd, std::string_view bytes);
  // 0, or -1 with errno set: a full disk may show itself only here.
  virtual int closeFile(int fd);
  // Renames from onto to (replaceFile): 0, or -1 with errno set.
  virtual int renameFile(const std::filesystem::path& from, const std::filesystem::path& to);

 private:
  // A new temporary beside path, kept by temporaries_, named in *temporary: its
  // descriptor, or -1 with errno set.
  int createTemporary(const std::filesystem::path& path, std::string* temporary);
  Status writePieces(int fd, std::string_view bytes);

  TemporaryFiles temporaries_;
  std::atomic<uint64_t> filesWritten_{0};
  std::atomic<uint64_t> bytesWritten_{0};
};

}  // namespace cohortix::host
