#include "host/record/record_check.h"

#include <set>
#include <tuple>

#include "host/record/run_recorder.h"
#include "host/record/sha256.h"

namespace cohortix::host::record {

RecordCheck checkRecordedFiles(const RunRecord& recorded,
                               const std::map<std::string, std::filesystem::path>& folders,
                               const RunRecord* rerun) {
  RecordCheck check;
  std::set<std::pair<std::string, std::string>> known;
  for (const RecordedFile& file : recorded.files) {
    known.emplace(file.output, file.path);
    const auto folder = folders.find(file.output);
    if (folder == folders.end()) {
      check.problems.push_back(file.path + ": its output (" + file.output + ") was not made again");
      continue;
    }
    const std::filesystem::path path = folder->second / file.path;
    const Result<FileChecksum> now = fileChecksum(path);
    if (!now) {
      check.problems.push_back(path.string() + ": missing (" + now.status().message() + ")");
    } else if (now.value().bytes != file.bytes || now.value().sha256 != file.sha256) {
      check.problems.push_back(path.string() + ": differs (" + std::to_string(now.value().bytes) +
                               " bytes, SHA-256 " + now.value().sha256 + "; the record: " +
                               std::to_string(file.bytes) + " bytes, " + file.sha256 + ")");
    } else {
      ++check.identical;
    }
  }
  if (rerun == nullptr) return check;
  for (const RecordedFile& file : rerun->files)
    if (!known.contains({file.output, file.path}))
      check.problems.push_back(file.path + " (" + file.output + "): written, but not in the record");
  return check;
}

std::string versionDifference(const RunRecord& recorded, const std::string& pluginVersion,
                              const std::string& pluginSha256) {
  std::string difference;
  if (recorded.cohortixVersion != cohortixVersion())
    difference = "Cohortix " + recorded.cohortixVersion + " made it, this is " + cohortixVersion();
  if (recorded.pluginVersion != pluginVersion || recorded.pluginSha256 != pluginSha256)
    difference += (difference.empty() ? "" : "; ") + std::string("its plug-in was ") +
                  recorded.pluginName + " " + recorded.pluginVersion + " (SHA-256 " +
                  recorded.pluginSha256.substr(0, 12) + "...), this one is " + pluginVersion +
                  " (" + pluginSha256.substr(0, 12) + "...)";
  return difference;
}

}  // namespace cohortix::host::record
