#include "app/resume_from_record.h"

#include <filesystem>
#include <optional>

#include "app/recorded_command.h"
#include "host/io/disk_interface.h"
#include "host/record/restored_copy.h"
#include "host/record/run_recorder.h"

namespace cohortix::app {
namespace {

namespace fs = std::filesystem;
using host::record::RestoredCopy;
using host::record::RunRecord;

// A folder as the record names it, relative to the folder the run ran in.
fs::path recordedFolder(const RunRecord& record, const std::string& output) {
  const fs::path folder = record.outputFolder(output);
  return folder.is_absolute() || record.workingDirectory.empty()
             ? folder
             : fs::path(record.workingDirectory) / folder;
}

}  // namespace

ExitStatus resumeFromRecord(const std::string& bidsDir, const RunRecord& asked,
                            const GlobalOptions& global) {
  const fs::path path = host::record::findRunRecord(bidsDir);
  if (path.empty()) {
    reportError("cannot resume " + bidsDir + " without its control file: it holds no run record (" +
                (fs::path(bidsDir) / "code" / host::record::kRunRecordName).string() +
                "); give the control file and the options of the run that made it");
    return ExitStatus::Refused;
  }
  host::RealDiskInterface disk;
  host::Result<RunRecord> record = host::record::readRunRecord(path, disk);
  if (!record || !record->controlFile) {
    reportError(record ? path.string() + " holds no copy of its run's control file"
                       : record.status().message());
    return ExitStatus::Refused;
  }
  host::Result<RestoredCopy> control = RestoredCopy::of(*record->controlFile, record.value());
  std::optional<host::Result<RestoredCopy>> profile;
  if (!record->profiles.empty())
    profile.emplace(RestoredCopy::of(record->profiles.front(), record.value()));
  const host::Status restored = !control ? control.status()
                                : profile && !*profile ? profile->status()
                                                       : host::Status::ok();
  if (!restored) {
    reportError(restored.message());
    return ExitStatus::Refused;
  }
  RecordedRunPaths paths{control->path(), profile ? profile->value().path() : fs::path(), {},
                         global.pluginPath};
  if (!record->outputFolder("native").empty())
    paths.outputs["native"] = recordedFolder(record.value(), "native");
  paths.outputs["bids"] = bidsDir;
  std::vector<std::string> extra = {"--resume"};
  const host::record::RecordedOption* quiet = asked.option("--quiet");
  const host::record::RecordedOption* wasQuiet = record->option("--quiet");
  if (quiet != nullptr && quiet->on && (wasQuiet == nullptr || !wasQuiet->on)) extra.push_back("--quiet");
  return static_cast<ExitStatus>(
      runRecordedCommand(recordedRunArguments(record.value(), paths, extra)));
}

}  // namespace cohortix::app
