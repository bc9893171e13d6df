#pragma once
// The run's files: the output folder, the names the plug-in gives, the writes made
// on the plug-in's thread, and the ledger of every file the run could not write,
// which decides whether the run wrote everything it was asked for.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "host/io/status.h"
#include "host/session/saved_subject.h"

namespace cohortix::host {

class DiskInterface;
class HostReporter;
class Progress;

class OutputFiles {
 public:
  OutputFiles(DiskInterface& disk, std::filesystem::path folder, HostReporter& reporter,
              Progress& progress);

  DiskInterface& disk() { return disk_; }
  // From now on the plug-in's files are kept in memory only: a write succeeds
  // without touching the disk (what the plug-in saves, the services still hold).
  void keepInMemory() { toDisk_ = false; }
  const std::filesystem::path& folder() const { return folder_; }
  std::filesystem::path pathOf(std::string_view name) const;
  // The name a file at `path` goes by in the run's reports: as the plug-in named
  // it when it lies in the output folder, otherwise the path itself.
  std::string nameOf(const std::string& path) const;

  // Creates the output folder when it is missing.
  Status makeFolder();
  // Why the plug-in's name cannot be an output name, naming the call.
  static Status checkName(const char* call, const char* fileName);

  // Writes the file under the plug-in's name; a refused name or a failed write is
  // reported and counted. True when written.
  bool write(const char* call, const char* fileName, std::span<const std::string_view> parts);

  // The ledger: a name counts as not written until a later write of it succeeds.
  void noteWritten(const std::string& name);
  // Reports why (which names the file) and counts the name as not written.
  void noteNotWritten(const std::string& name, const Status& why);
  // What a subject's sinks did: reported and counted, bytes to the progress line
  // (which counts its own subject's bytes as the last sink).
  void take(const SubjectOutcomes& outcomes);
  const std::vector<std::string>& notWritten() const { return notWritten_; }
  // The plug-in has simulated a subject of this many voxel-volumes and saved it:
  // what the progress line measures its rate by.
  void noteSimulated(uint64_t voxelVolumes);

 private:
  DiskInterface& disk_;
  std::filesystem::path folder_;
  HostReporter& reporter_;
  Progress& progress_;
  std::vector<std::string> notWritten_;
  bool toDisk_ = true;
};

}  // namespace cohortix::host
