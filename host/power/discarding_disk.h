#pragma once
// A disk that keeps nothing: every file is handed over in full and dropped, so a
// power run goes through the host's whole output path without writing a subject's
// files. It reads nothing either.

#include <cstdint>

#include "host/io/disk_interface.h"

namespace cohortix::host {

class DiscardingDisk : public DiskInterface {
 public:
  Status makeDirs(const std::filesystem::path& folder) override;
  Status writeFileWith(const std::filesystem::path& path, const FileWriter& write) override;
  Result<std::string> readFile(const std::filesystem::path& path) override;
};

}  // namespace cohortix::host
