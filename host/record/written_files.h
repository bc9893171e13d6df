#pragma once
// The files a run put in place, each with its size and XXH3-128, taken from the
// bytes as the disk wrote them (host/io/write_observer.h). A file written again
// keeps its last version; a file removed is forgotten.

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "host/io/write_observer.h"

namespace cohortix::host::record {

struct WrittenFile {
  uint64_t bytes = 0;
  std::string checksum;
};

class WrittenFiles : public WriteObserver {
 public:
  std::shared_ptr<File> begin(const std::filesystem::path& path) override;
  void removed(const std::filesystem::path& path) override;

  // Every file in place now, by absolute path.
  std::map<std::filesystem::path, WrittenFile> all() const;

  void noteInPlace(const std::filesystem::path& path, WrittenFile file);

 private:
  mutable std::mutex mutex_;
  std::map<std::filesystem::path, WrittenFile> files_;
};

// The path as the files are known by: absolute, without "." or "..".
std::filesystem::path normalPath(const std::filesystem::path& path);

}  // namespace cohortix::host::record
