#pragma once
// XXH3-128 checksums, as `xxh128sum` prints them (32 lowercase hex digits): of
// bytes handed over piece by piece, and of a file read from the disk. Not a
// cryptographic hash: it tells a file that changed from the one recorded, at a
// tenth of SHA-256's cost on every byte a run writes.

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "host/io/status.h"

namespace cohortix::host::record {

class Checksum {
 public:
  Checksum();
  ~Checksum();
  Checksum(const Checksum&) = delete;
  Checksum& operator=(const Checksum&) = delete;

  void add(std::string_view bytes);
  // The checksum of every byte added; the object is spent.
  std::string hex();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

std::string checksumOf(std::string_view bytes);

// The checksum and size of the file at path, read a piece at a time.
struct FileChecksum {
  std::string checksum;
  uint64_t bytes = 0;
};
Result<FileChecksum> fileChecksum(const std::filesystem::path& path);

}  // namespace cohortix::host::record
