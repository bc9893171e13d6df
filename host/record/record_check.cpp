#include "host/record/record_check.h"

#include <set>
#include <tuple>

#include "host/record/run_recorder.h"
#include "host/record/checksum.h"

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
    } else if (now.value().bytes != file.bytes || now.value().checksum != file.checksum) {
      check.problems.push_back(path.string() + ": differs (" + std::to_string(now.value().bytes) +
                               " bytes, XXH3-128 " + now.value().checksum + "; the record: " +
                               std::to_string(file.bytes) + " bytes, " + file.checksum + ")");
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
                              const std::string& pluginChecksum) {
  std::string difference;
  if (recorded.cohortixVersion != cohortixVersion())
    difference = "Cohortix " + recorded.cohortixVersion + " made it, this is " + cohortixVersion();
  if (recorded.pluginVersion != pluginVersion || recorded.pluginChecksum != pluginChecksum)
    difference += (difference.empty() ? "" : "; ") + std::string("its plug-in was ") +
                  recorded.pluginName + " " + recorded.pluginVersion + " (XXH3-128 " +
                  recorded.pluginChecksum.substr(0, 12) + "...), this one is " + pluginVersion +
                  " (" + pluginChecksum.substr(0, 12) + "...)";
  return difference;
}

}  // namespace cohortix::host::record
