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
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "host/io/commit_queue.h"
#include "host/io/status.h"
#include "host/io/temporary_files.h"
#include "host/io/write_observer.h"

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
  // The same, with the file in place (or given up) when it returns, even on a disk
  // that takes the last steps behind the writers: for a file whose fate decides
  // what is written after it.
  virtual Status writeFileNow(const std::filesystem::path& path,
                              std::span<const std::string_view> parts) {
    return writeFile(path, parts);
  }

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
  // Waits until every file written so far is in place or given up; the files that
  // could not be put in place since the last call: the system's reason, about the
  // file (Status::file). Empty where a disk puts every file in place before
  // writeFileWith returns.
  virtual std::vector<Status> settle() { return {}; }
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

  // From now on (on: true) a file's last steps, flush, close and rename, are taken
  // behind its writer, on a thread of their own, in the order the files were
  // written (host/io/commit_queue.h): writeFileWith returns once the bytes are
  // written, and a failure of the last steps comes from settle(). Reading or
  // removing a file first waits for every file written before. Off: waits for the
  // files queued and takes the last steps in writeFileWith again.
  void commitBehind(bool on);
  // From now on every file written is shown to `observer` (null: none), which
  // must outlive the writes; set it before the writers start.
  void observe(WriteObserver* observer) { observer_ = observer; }
  Status writeFileNow(const std::filesystem::path& path,
                      std::span<const std::string_view> parts) override;
  std::vector<Status> settle() override;
  Status removeFile(const std::filesystem::path& path) override;

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
  Status writeFileCommitting(const std::filesystem::path& path, const FileWriter& write,
                             bool behind);
  // Flush, close, rename into place: the file written whole under `temporary`.
  Status commit(int fd, const std::string& temporary, const std::filesystem::path& path,
                uint64_t bytes, const std::shared_ptr<WriteObserver::File>& watched);
  void waitForCommits();

  TemporaryFiles temporaries_;
  std::atomic<uint64_t> filesWritten_{0};
  std::atomic<uint64_t> bytesWritten_{0};
  std::unique_ptr<CommitQueue> commits_;  // set while files are committed behind
  std::vector<Status> commitFailures_;    // of a queue since gone
  std::atomic<WriteObserver*> observer_{nullptr};
};

}  // namespace cohortix::host
