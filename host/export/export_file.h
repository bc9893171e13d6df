#pragma once
// The exports (NIfTI volumes, TSV tables, BIDS sidecars) reach their final names
// only complete. Text goes through the session's disk, which writes atomically;
// a NIfTI volume is streamed by the NIfTI library itself, which picks compression
// from the file's suffix, so it gets a temporary name of its own that keeps the
// suffix.

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace cohortix::host {

class DiskInterface;

// An export that could not be written: what() reads "cannot write FILE: reason".
class ExportError : public std::runtime_error {
 public:
  ExportError(std::filesystem::path file, const std::string& message)
      : std::runtime_error(message), file_(std::move(file)) {}
  const std::filesystem::path& file() const { return file_; }

 private:
  std::filesystem::path file_;
};

// Calls write with a temporary path beside `file` that ends in the whole name of
// `file`, then flushes it to disk and renames it to `file`. When write throws, or
// the flush or rename fails, the temporary file is removed and the error passes on
// as "cannot write FILE: reason". The disk keeps the temporary among its own, so
// an interrupted run removes it too.
void writeExportFile(DiskInterface& disk, const std::filesystem::path& file,
                     const std::function<void(const std::filesystem::path&)>& write);

// The whole text as the file, through the disk; throws "cannot write FILE: reason".
void writeExportText(DiskInterface& disk, const std::filesystem::path& file,
                     std::string_view text);

// The folder and its missing parents; throws "cannot create FOLDER: reason".
void makeExportFolder(DiskInterface& disk, const std::filesystem::path& folder);

}  // namespace cohortix::host
