#include "host/record/written_files.h"

#include "host/record/checksum.h"

namespace cohortix::host::record {
namespace {

class WatchedFile : public WriteObserver::File {
 public:
  WatchedFile(WrittenFiles& files, std::filesystem::path path)
      : files_(files), path_(std::move(path)) {}
  void add(std::string_view bytes) override {
    sum_.add(bytes);
    bytes_ += bytes.size();
  }
  void inPlace() override { files_.noteInPlace(path_, {bytes_, sum_.hex()}); }

 private:
  WrittenFiles& files_;
  std::filesystem::path path_;
  Checksum sum_;
  uint64_t bytes_ = 0;
};

}  // namespace

std::filesystem::path normalPath(const std::filesystem::path& path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  return (error ? path : absolute).lexically_normal();
}

std::shared_ptr<WriteObserver::File> WrittenFiles::begin(const std::filesystem::path& path) {
  return std::make_shared<WatchedFile>(*this, normalPath(path));
}

void WrittenFiles::removed(const std::filesystem::path& path) {
  const std::lock_guard lock(mutex_);
  files_.erase(normalPath(path));
}

void WrittenFiles::noteInPlace(const std::filesystem::path& path, WrittenFile file) {
  const std::lock_guard lock(mutex_);
  files_[path] = std::move(file);
}

std::map<std::filesystem::path, WrittenFile> WrittenFiles::all() const {
  const std::lock_guard lock(mutex_);
  return files_;
}

}  // namespace cohortix::host::record
