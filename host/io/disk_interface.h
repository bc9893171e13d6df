#pragma once
// Everything the host does with files goes through a DiskInterface, so tests can
// stand in a disk that fails. Writes are atomic: the bytes go to a temporary name
// in the target's folder ("NAME" + kTemporarySuffix, the X's random) and the file
// is renamed to its final name only when complete, so no half-written file ever
// carries a final name.

#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "host/io/status.h"
#include "host/io/temporary_files.h"

namespace cohortix::host {

// What a temporary name adds to the final one (the X's become random characters).
inline constexpr char kTemporarySuffix[] = ".tmp.XXXXXX";

class DiskInterface {
 public:
  virtual ~DiskInterface() = default;

  // Failures carry the system's reason alone ("Permission denied"); the caller says
  // what it was doing.

  // Creates the folder and any missing parents.
  virtual Status makeDirs(const std::filesystem::path& folder) = 0;

  // Writes the parts one after the other as the whole file at path, or nothing.
  virtual Status writeFile(const std::filesystem::path& path,
                           std::span<const std::string_view> parts) = 0;

  virtual Result<std::string> readFile(const std::filesystem::path& path) = 0;

  // Where the disk keeps the temporaries of its writes, for files that a library
  // writes by name beside them; null for a disk that keeps none.
  virtual TemporaryFiles* temporaries() { return nullptr; }
};

class RealDiskInterface : public DiskInterface {
 public:
  Status makeDirs(const std::filesystem::path& folder) override;
  Status writeFile(const std::filesystem::path& path,
                   std::span<const std::string_view> parts) override;
  Result<std::string> readFile(const std::filesystem::path& path) override;

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

}  // namespace cohortix::host
