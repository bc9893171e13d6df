#pragma once
// A file the record keeps a copy of (the control file, a profile), as a file
// again for the readers that want a path: the original when it is still there with
// the recorded checksum, otherwise the copy written into a private temporary
// folder that goes away with this object.

#include <filesystem>

#include "host/io/status.h"
#include "host/record/run_record.h"

namespace cohortix::host::record {

class RestoredCopy {
 public:
  // `fromRecordOnly`: always the record's copy, never the original.
  static Result<RestoredCopy> of(const RecordedText& copy, const RunRecord& record,
                                 bool fromRecordOnly = false);
  RestoredCopy(RestoredCopy&& other) noexcept;
  RestoredCopy& operator=(RestoredCopy&& other) = delete;
  RestoredCopy(const RestoredCopy&) = delete;
  ~RestoredCopy();

  const std::filesystem::path& path() const { return path_; }
  // The temporary folder that holds the copy; empty for the original.
  const std::filesystem::path& folder() const { return folder_; }

 private:
  RestoredCopy(std::filesystem::path path, std::filesystem::path folder)
      : path_(std::move(path)), folder_(std::move(folder)) {}
  std::filesystem::path path_;
  std::filesystem::path folder_;  // empty: the original, nothing to remove
};

}  // namespace cohortix::host::record
