#include "host/export/checksum_disk.h"

#if __has_include(<zlib.h>)
#include <zlib.h>
#endif

#include <cstdint>
#include <system_error>

namespace cohortix::host {
namespace {

#if __has_include(<zlib.h>)
// zlib's CRC-32, as fast as the disk reads.
uint64_t initialChecksum() { return crc32_z(0, nullptr, 0); }
uint64_t checksumOf(uint64_t crc, std::string_view bytes) {
  return crc32_z(static_cast<uLong>(crc), reinterpret_cast<const Bytef*>(bytes.data()), bytes.size());
}
#else
// Where the host is built without zlib (the Windows stand-in host): FNV-1a, which
// serves as well to tell a file from what this run makes.
uint64_t initialChecksum() { return 14695981039346656037ull; }
uint64_t checksumOf(uint64_t hash, std::string_view bytes) {
  for (const char byte : bytes) hash = (hash ^ static_cast<unsigned char>(byte)) * 1099511628211ull;
  return hash;
}
#endif

// The CRC-32 and length of everything written to it.
class ChecksumSink : public FileSink {
 public:
  Status write(std::string_view bytes) override {
    crc_ = crcOf(crc_, bytes);
    length_ += bytes.size();
    return Status::ok();
  }
  static uint64_t crcOf(uint64_t crc, std::string_view bytes) { return checksumOf(crc, bytes); }
  uint64_t crc() const { return crc_; }
  uint64_t length() const { return length_; }

 private:
  uint64_t crc_ = initialChecksum();
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
      ChecksumSink::crcOf(initialChecksum(), bytes) != made.crc())
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
