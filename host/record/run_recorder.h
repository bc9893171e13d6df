#pragma once
// A command's record in the making: what it was asked (filled in by the command
// line), the copies of the files it read, the times of its stages and, from the
// disk, every file it put in place; at the end the record, written beside each of
// its outputs.

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

#include "host/io/status.h"
#include "host/record/run_record.h"
#include "host/record/written_files.h"

namespace cohortix::host {
class DiskInterface;
}

namespace cohortix::host::record {

// The record's file name in an output folder; a BIDS dataset keeps it under code/,
// where the dataset's own tools expect what made it.
inline constexpr char kRunRecordName[] = "cohortix-run.json";
std::filesystem::path recordPathIn(const std::string& output, const std::filesystem::path& folder);
// The record a run left in `folder` (a native folder, a dataset, a power folder);
// empty when there is none.
std::filesystem::path findRunRecord(const std::filesystem::path& folder);

// The platform the command runs on: system, release, machine, compiler, cores.
std::vector<std::pair<std::string, std::string>> currentPlatform();
// Cohortix's own version, as --version and the datasets name it.
std::string cohortixVersion();

class RunRecorder {
 public:
  // `asked` holds the command, its arguments and options, the plug-in's name and
  // version and the outputs; the start time, the working folder, the platform and
  // the version are added here.
  explicit RunRecorder(RunRecord asked);

  // Copies the file the option named into the record (the control file once, a
  // profile for every call), and checksums the plug-in's library.
  Status keepControlFile(const std::string& option, const std::filesystem::path& path);
  Status keepProfile(const std::string& option, const std::filesystem::path& path);
  Status keepPlugin(const std::filesystem::path& library);

  const RunRecord& record() const { return record_; }
  void addOutput(const std::string& name, const std::string& folder) {
    record_.outputs.emplace_back(name, folder);
  }
  void setNoise(std::optional<uint64_t> seed, int32_t replicate) {
    record_.noiseSeed = seed;
    record_.replicate = replicate;
  }

  // What the disk reports to (RealDiskInterface::observe).
  WrittenFiles& files() { return files_; }
  // Ends the stage under way, if any, and starts the next.
  void stage(const std::string& name);
  // Also lists the files of `output` that this command did not write but found
  // in place (a resumed dataset's earlier subjects).
  void includeFilesFound(const std::string& output) { scanned_.push_back(output); }
  // Files an earlier run of the same output wrote and this one keeps, as that
  // run's record lists them: the snapshots list them too (unless this command
  // writes them again), so that a resume stopped again still knows them.
  void carryEarlierFiles(std::vector<RecordedFile> files) {
    carried_.insert(carried_.end(), std::make_move_iterator(files.begin()), std::make_move_iterator(files.end()));
  }
  // Leaves the file out of the record's list: a file that names the run's folders
  // and times (the study report), which no rerun could make byte for byte.
  void leaveOut(const std::filesystem::path& path) { leftOut_.push_back(normalPath(path)); }

  // The record of the run under way: no end, no exit status, no files yet.
  RunRecord unfinished() const { return record_; }
  // The record of the run under way with the files it has put in place so far,
  // so that a resume can tell the subjects it keeps from files changed since.
  RunRecord snapshot() const;
  // The record as it stands: the stage under way ended, the end time, the exit
  // status and every file in place under an output.
  Result<RunRecord> finish(int exitStatus);

 private:
  RunRecord record_;
  WrittenFiles files_;
  std::vector<std::string> scanned_;
  std::vector<RecordedFile> carried_;
  std::vector<std::filesystem::path> leftOut_;
  std::string stageName_;
  std::chrono::steady_clock::time_point stageStart_;
};

// Writes the record beside every output that exists; the first failure, naming
// the file, once all were tried.
Status writeRunRecord(const RunRecord& record, DiskInterface& disk);

// Reads the record at path, naming it in any failure.
Result<RunRecord> readRunRecord(const std::filesystem::path& path, DiskInterface& disk);

}  // namespace cohortix::host::record
