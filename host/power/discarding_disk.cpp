#include "host/power/discarding_disk.h"

namespace cohortix::host {
namespace {

class DroppedBytes : public FileSink {
 public:
  Status write(std::string_view /*bytes*/) override { return Status::ok(); }
};

}  // namespace

Status DiscardingDisk::makeDirs(const std::filesystem::path& /*folder*/) { return Status::ok(); }

Status DiscardingDisk::writeFileWith(const std::filesystem::path& /*path*/, const FileWriter& write) {
  DroppedBytes sink;
  return write(sink);
}

Result<std::string> DiscardingDisk::readFile(const std::filesystem::path& path) {
  return Status::error("cannot read " + path.string() + ": nothing is kept on this disk");
}

}  // namespace cohortix::host
