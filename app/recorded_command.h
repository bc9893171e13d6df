#pragma once
// A run made again from its record: the command line of `cohortix run` that the
// record's given options make, with the control file, profile and output folders
// the caller chooses, run as a child of this process.

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "host/record/run_record.h"

namespace cohortix::app {

struct RecordedRunPaths {
  std::filesystem::path control;
  std::filesystem::path profile;  // empty: none
  std::map<std::string, std::filesystem::path> outputs;  // "native", "bids"
  std::string plugin;  // empty: the plug-in beside the executable
};

// The arguments, this executable first; `extra` goes after the recorded options.
std::vector<std::string> recordedRunArguments(const host::record::RunRecord& record,
                                              const RecordedRunPaths& paths,
                                              const std::vector<std::string>& extra);

// Runs the command with this process's standard streams; its exit code.
int runRecordedCommand(const std::vector<std::string>& argv);

}  // namespace cohortix::app
