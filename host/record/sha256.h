#pragma once
// SHA-256 checksums, as `sha256sum` prints them (64 lowercase hex digits): of
// bytes handed over piece by piece, and of a file read from the disk.

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "host/io/status.h"

namespace cohortix::host::record {

class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void add(std::string_view bytes);
  // The checksum of every byte added; the object is spent.
  std::string hex();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

std::string sha256Of(std::string_view bytes);

// The checksum and size of the file at path, read a piece at a time.
struct FileChecksum {
  std::string sha256;
  uint64_t bytes = 0;
};
Result<FileChecksum> fileChecksum(const std::filesystem::path& path);

}  // namespace cohortix::host::record
