#include "host/record/restored_copy.h"

#include <cerrno>
#include <cstdlib>
#include <string>

#include "host/io/disk_interface.h"
#include "host/record/checksum.h"

namespace cohortix::host::record {
namespace {

namespace fs = std::filesystem;

// The original as the record names it, relative to the folder the run ran in.
fs::path originalOf(const RecordedText& copy, const RunRecord& record) {
  const fs::path given = copy.path;
  return given.is_absolute() || record.workingDirectory.empty()
             ? given
             : fs::path(record.workingDirectory) / given;
}

}  // namespace

Result<RestoredCopy> RestoredCopy::of(const RecordedText& copy, const RunRecord& record,
                                      bool fromRecordOnly) {
  if (!fromRecordOnly) {
    const fs::path original = originalOf(copy, record);
    const Result<FileChecksum> now = fileChecksum(original);
    if (now && now.value().checksum == copy.checksum) return RestoredCopy(original, {});
  }
  std::string pattern = (fs::temp_directory_path() / "cohortix-record-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr)
    return Status::fromErrno(errno).context("cannot make a folder for the record's copy of " +
                                            copy.path);
  const fs::path folder = pattern;
  const fs::path path = folder / fs::path(copy.path).filename();
  RealDiskInterface disk;
  const std::string_view parts[] = {copy.text};
  if (Status written = disk.writeFile(path, parts); !written) {
    std::error_code error;
    fs::remove_all(folder, error);
    return std::move(written).context("cannot write the record's copy of " + copy.path);
  }
  return RestoredCopy(path, folder);
}

RestoredCopy::RestoredCopy(RestoredCopy&& other) noexcept
    : path_(std::move(other.path_)), folder_(std::move(other.folder_)) {
  other.folder_.clear();
}

RestoredCopy::~RestoredCopy() {
  if (folder_.empty()) return;
  std::error_code error;
  fs::remove_all(folder_, error);
}

}  // namespace cohortix::host::record
