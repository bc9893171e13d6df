#pragma once
// A fresh folder only this process uses (mode 0700, a unique name), removed with
// everything in it when the object goes.

#include <filesystem>
#include <string>

#include "host/io/status.h"

namespace cohortix::host {

class PrivateFolder {
 public:
  // PARENT/PREFIX-XXXXXX; parent empty: the system's temporary folder ($TMPDIR).
  static Result<PrivateFolder> make(const std::filesystem::path& parent, const std::string& prefix);

  PrivateFolder(PrivateFolder&& other) noexcept : path_(std::move(other.path_)) { other.path_.clear(); }
  PrivateFolder(const PrivateFolder&) = delete;
  PrivateFolder& operator=(const PrivateFolder&) = delete;
  PrivateFolder& operator=(PrivateFolder&&) = delete;
  ~PrivateFolder();

  const std::filesystem::path& path() const { return path_; }

 private:
  explicit PrivateFolder(std::filesystem::path path) : path_(std::move(path)) {}
  std::filesystem::path path_;
};

}  // namespace cohortix::host
