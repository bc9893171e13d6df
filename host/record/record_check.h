#pragma once
// Checking a run's files against its record: each recorded file read again where
// its output now lies, its size and XXH3-128 compared; and the files a later run of
// the record wrote that the record does not hold.

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "host/record/run_record.h"

namespace cohortix::host::record {

struct RecordCheck {
  std::size_t identical = 0;
  std::vector<std::string> problems;  // one line each, naming the file
  bool passed() const { return problems.empty(); }
};

// `folders` maps each of the record's outputs to the folder that holds it now;
// `rerun`, when given, is the record of the run that wrote them, whose files the
// recorded run did not write are problems too.
RecordCheck checkRecordedFiles(const RunRecord& recorded,
                               const std::map<std::string, std::filesystem::path>& folders,
                               const RunRecord* rerun);

// Why the builds that made the record may not make the same bytes as this one:
// empty when the versions and the plug-in's checksum are the same.
std::string versionDifference(const RunRecord& recorded, const std::string& pluginVersion,
                              const std::string& pluginChecksum);

}  // namespace cohortix::host::record
