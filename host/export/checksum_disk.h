#pragma once
// A disk that writes nothing: each file it is asked to write is compared, by
// checksum, with the file already under that name on the real disk. What resuming
// a dataset uses to check that the files an earlier run wrote are the ones this
// run makes.

#include <filesystem>
#include <string>

#include "host/io/disk_interface.h"

namespace cohortix::host {

class ChecksumDisk : public DiskInterface {
 public:
  // Reads through `disk`, which must outlive this one.
  explicit ChecksumDisk(DiskInterface& disk) : disk_(disk) {}

  // The folder must exist already.
  Status makeDirs(const std::filesystem::path& folder) override;
  // Ok when the file on disk has the same bytes as `write` hands over; otherwise
  // says that it differs or is missing.
  Status writeFileWith(const std::filesystem::path& path, const FileWriter& write) override;
  Result<std::string> readFile(const std::filesystem::path& path) override;
  Status removeFile(const std::filesystem::path& path) override;

 private:
  DiskInterface& disk_;
};

}  // namespace cohortix::host
