#include "host/session/output_files.h"

#include <algorithm>

#include "host/io/disk_interface.h"
#include "host/io/plain_file_name.h"
#include "host/session/host_reporter.h"
#include "host/session/progress.h"

namespace cohortix::host {

OutputFiles::OutputFiles(DiskInterface& disk, std::filesystem::path folder, HostReporter& reporter,
                         Progress& progress)
    : disk_(disk), folder_(std::move(folder)), reporter_(reporter), progress_(progress) {}

std::filesystem::path OutputFiles::pathOf(std::string_view name) const {
  return resolveOutputName(folder_, name);
}

std::string OutputFiles::nameOf(const std::string& path) const {
  const std::string folder = folder_.string() + "/";
  if (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0)
    return path.substr(folder.size());
  return path;
}

Status OutputFiles::makeFolder() {
  return disk_.makeDirs(folder_).context("cannot create the output folder " + folder_.string());
}

Status OutputFiles::checkName(const char* call, const char* fileName) {
  if (fileName == nullptr) return Status::error(std::string(call) + ": no file name given");
  const std::string problem = outputNameProblem(fileName);
  if (problem.empty()) return Status::ok();
  return Status::error(problem).context(std::string(call) + ": refused the file name \"" +
                                        fileName + "\"");
}

bool OutputFiles::write(const char* call, const char* fileName,
                        std::span<const std::string_view> parts) {
  if (const Status name = checkName(call, fileName); !name) {
    noteNotWritten(fileName == nullptr ? "(no name)" : fileName, name);
    return false;
  }
  if (!toDisk_) return true;
  // In place before the next save: a subject's later files are built from it.
  const Status written = disk_.writeFileNow(pathOf(fileName), parts);
  if (!written) {
    noteNotWritten(fileName, written.context("cannot write " + std::string(fileName)));
    return false;
  }
  noteWritten(fileName);
  for (const std::string_view part : parts) progress_.noteBytesWritten(part.size());
  return true;
}

void OutputFiles::noteSimulated(uint64_t voxelVolumes) { progress_.noteSimulated(voxelVolumes); }

void OutputFiles::noteWritten(const std::string& name) { std::erase(notWritten_, name); }

void OutputFiles::noteNotWritten(const std::string& name, const Status& why) {
  std::erase(notWritten_, name);
  notWritten_.push_back(name);
  reporter_.report(why.message());
}

void OutputFiles::take(const SubjectOutcomes& outcomes) {
  for (const SubjectOutcomes::Outcome& outcome : outcomes.all()) {
    if (outcome.status) noteWritten(outcome.file);
    else noteNotWritten(outcome.file, outcome.status);
  }
}

}  // namespace cohortix::host
