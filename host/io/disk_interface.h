#pragma once
// Everything the host does with files goes through a DiskInterface, so tests can
// stand in a disk that fails. Writes are atomic: the bytes go to a temporary name
// in the target's folder ("NAME" + kTemporarySuffix, the X's random) and the file
// is renamed to its final name only when complete, so no half-written file ever
// carries a final name.

#include <cerrno>
#include <filesystem>
#include <mutex>
#include <span>
#include <string>
#include <string_view>

#include "host/io/temporary_files.h"

namespace cohortix::host {

// What a temporary name adds to the final one (the X's become random characters).
inline constexpr char kTemporarySuffix[] = ".tmp.XXXXXX";

class DiskInterface {
 public:
  virtual ~DiskInterface() = default;

  // Creates the folder and any missing parents. False with the system's reason in
  // *error ("Permission denied").
  virtual bool makeDirs(const std::filesystem::path& folder, std::string* error) = 0;

  // Writes the parts one after the other as the whole file at path, or nothing.
  virtual bool writeFile(const std::filesystem::path& path, std::span<const std::string_view> parts,
                         std::string* error) = 0;

  virtual bool readFile(const std::filesystem::path& path, std::string* contents,
                        std::string* error) = 0;

  // Where the disk keeps the temporaries of its writes, for files that a library
  // writes by name beside them; null for a disk that keeps none.
  virtual TemporaryFiles* temporaries() { return nullptr; }
};

class RealDiskInterface : public DiskInterface {
 public:
  bool makeDirs(const std::filesystem::path& folder, std::string* error) override;
  bool writeFile(const std::filesystem::path& path, std::span<const std::string_view> parts,
                 std::string* error) override;
  bool readFile(const std::filesystem::path& path, std::string* contents,
                std::string* error) override;

  // Ends every write under way, from any thread: removes their temporary files and
  // makes them and every later write fail ("Operation canceled"). Once it returns,
  // no file appears under a final name any more and no temporary is left behind:
  // what a process about to end in the middle of a run needs.
  void abandonWrites() { temporaries_.abandon(); }
  TemporaryFiles* temporaries() override { return &temporaries_; }

 protected:
  // Writes bytes to the open file; false with errno set. The seam where a test disk
  // fails part-way through a file.
  virtual bool writeBytes(int fd, std::string_view bytes);

 private:
  TemporaryFiles temporaries_;
};

// The real disk, but running out of space once `capacity` bytes have been written
// (in total, over all files, from any thread): writes then fail part-way with
// ENOSPC, or with the chosen error number.
class FailingDiskInterface : public RealDiskInterface {
 public:
  explicit FailingDiskInterface(std::size_t capacity, int errorNumber = ENOSPC)
      : capacity_(capacity), errorNumber_(errorNumber) {}

 protected:
  bool writeBytes(int fd, std::string_view bytes) override;

 private:
  std::mutex mutex_;
  std::size_t capacity_;
  int errorNumber_;
};

}  // namespace cohortix::host
