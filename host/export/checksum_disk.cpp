#include "host/export/checksum_disk.h"

#include <zlib.h>

#include <cstdint>
#include <system_error>

namespace cohortix::host {
namespace {

// The CRC-32 and length of everything written to it.
class ChecksumSink : public FileSink {
 public:
  Status write(std::string_view bytes) override {
    crc_ = crcOf(crc_, bytes);
    length_ += bytes.size();
    return Status::ok();
  }
  static uLong crcOf(uLong crc, std::string_view bytes) {
    return crc32_z(crc, reinterpret_cast<const Bytef*>(bytes.data()), bytes.size());
  }
  uLong crc() const { return crc_; }
  uint64_t length() const { return length_; }

 private:
  uLong crc_ = crc32_z(0, nullptr, 0);
  uint64_t length_ = 0;
};

}  // namespace

Status ChecksumDisk::makeDirs(const std::filesystem::path& folder) {
  std::error_code code;
  return std::filesystem::is_directory(folder, code) ? Status::ok() : Status::error("it is missing");
}

Status ChecksumDisk::writeFileWith(const std::filesystem::path& path, const FileWriter& write) {
  ChecksumSink made;
  Status written = write(made);
  if (!written) return written;
  const Result<std::string> onDisk = disk_.readFile(path);
  if (!onDisk) return Status::error("the file the earlier run wrote cannot be read back: " +
                                    onDisk.status().message());
  const std::string& bytes = onDisk.value();
  if (bytes.size() != made.length() ||
      ChecksumSink::crcOf(crc32_z(0, nullptr, 0), bytes) != made.crc())
    return Status::error("the file the earlier run wrote differs from what this run makes");
  return Status::ok();
}

Result<std::string> ChecksumDisk::readFile(const std::filesystem::path& path) {
  return disk_.readFile(path);
}

Status ChecksumDisk::removeFile(const std::filesystem::path&) {
  return Status::error("a file being checked is never removed");
}

}  // namespace cohortix::host
