// cohortix rerun RECORD: makes a run again from its record alone (the control file
// and profiles it copied, the options it resolved) and checks every file it writes
// against the recorded sizes and checksums.

#include <CLI/CLI.hpp>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <optional>

#include "app/command.h"
#include "app/recorded_command.h"
#include "host/io/disk_interface.h"
#include "host/loader/plugin_library.h"
#include "host/record/record_check.h"
#include "host/record/restored_copy.h"
#include "host/record/run_recorder.h"
#include "host/record/checksum.h"

namespace cohortix::app {
namespace {

namespace fs = std::filesystem;
using host::record::RestoredCopy;
using host::record::RunRecord;

struct RerunOptions {
  std::string record;
  std::string outputDir = "rerun";
  std::string bidsDir;  // empty: OUTPUT/bids, or OUTPUT for a dataset-only run
};

// The record named, or the one in the folder named.
fs::path recordPath(const fs::path& given) {
  std::error_code error;
  if (!fs::is_directory(given, error)) return given;
  const fs::path found = host::record::findRunRecord(given);
  return found.empty() ? given / host::record::kRunRecordName : found;
}

std::map<std::string, fs::path> foldersOf(const RunRecord& record, const RerunOptions& options) {
  std::map<std::string, fs::path> folders;
  const bool native = !record.outputFolder("native").empty();
  if (native) folders["native"] = options.outputDir;
  if (!record.outputFolder("bids").empty())
    folders["bids"] = !options.bidsDir.empty() ? fs::path(options.bidsDir)
                      : native                 ? fs::path(options.outputDir) / "bids"
                                               : fs::path(options.outputDir);
  return folders;
}

void warnOfVersion(const RunRecord& record, const std::string& pluginPath) {
  std::string error;
  const auto plugin = host::PluginLibrary::open(pluginPath, error);
  const host::Result<host::record::FileChecksum> sum = host::record::fileChecksum(pluginPath);
  const std::string difference = host::record::versionDifference(
      record, plugin ? plugin->entryPoints().getPluginVersion() : "unknown",
      sum ? sum.value().checksum : "unknown");
  if (!difference.empty())
    std::cerr << "cohortix: warning: the record was not made by these builds (" << difference
              << "): the files may differ byte for byte\n";
}

// Every recorded file against the one the rerun wrote, and the rerun's own files
// against the record.
ExitStatus checkAgainst(const RunRecord& record, const std::map<std::string, fs::path>& folders,
                        host::DiskInterface& disk, ExitStatus status) {
  const auto& [output, folder] = *folders.begin();
  host::Result<RunRecord> again =
      host::record::readRunRecord(host::record::recordPathIn(output, folder), disk);
  if (!again) reportError(again.status().message());
  const host::record::RecordCheck check =
      host::record::checkRecordedFiles(record, folders, again ? &again.value() : nullptr);
  for (const std::string& problem : check.problems) reportError(problem);
  if (!check.passed() || !again) {
    reportError("the rerun does not match its record: " + std::to_string(check.problems.size()) +
                " of its files differ");
    return ExitStatus::RunFailed;
  }
  std::cerr << "cohortix: all " << check.identical
            << " files of the record made again, byte for byte\n";
  return status;
}

ExitStatus rerun(const RerunOptions& options, const GlobalOptions& global) {
  host::RealDiskInterface disk;
  const fs::path path = recordPath(options.record);
  host::Result<RunRecord> record = host::record::readRunRecord(path, disk);
  if (!record) {
    reportError(record.status().message());
    return ExitStatus::RunFailed;
  }
  if (record->command != "run" || !record->controlFile) {
    reportError(path.string() + " is the record of `cohortix " + record->command +
                "`, not of a run with its control file: only a run can be made again");
    return ExitStatus::RunFailed;
  }
  warnOfVersion(record.value(), pluginPathOf(global));
  const std::map<std::string, fs::path> folders = foldersOf(record.value(), options);
  if (folders.empty()) {
    reportError(path.string() + " names neither a native folder nor a dataset: nothing to make again");
    return ExitStatus::RunFailed;
  }
  // The copies the record kept, as files again, in a private folder.
  host::Result<RestoredCopy> control = RestoredCopy::of(*record->controlFile, record.value(), true);
  std::optional<host::Result<RestoredCopy>> profile;
  if (!record->profiles.empty())
    profile.emplace(RestoredCopy::of(record->profiles.front(), record.value(), true));
  const host::Status restored = !control ? control.status()
                                : profile && !*profile ? profile->status()
                                                       : host::Status::ok();
  if (!restored) {
    reportError(restored.message());
    return ExitStatus::RunFailed;
  }
  const RecordedRunPaths paths{control->path(), profile ? profile->value().path() : fs::path(),
                               folders, global.pluginPath};
  const int code = runRecordedCommand(recordedRunArguments(record.value(), paths, {}));
  const auto status = static_cast<ExitStatus>(code);
  if (status != ExitStatus::Success && status != ExitStatus::FilesNotWritten) return status;
  return checkAgainst(record.value(), folders, disk, status);
}

}  // namespace

void addRerunCommand(CLI::App& app, const GlobalOptions& global, CommandAction& action) {
  auto options = std::make_shared<RerunOptions>();
  CLI::App* command = app.add_subcommand(
      "rerun", "Make a run again from its record and check every file against it");
  command->add_option("record", options->record,
                      "The run's record (cohortix-run.json), or the folder that holds it")
      ->required();
  command->add_option("-o,--output", options->outputDir,
                      "Folder for the native files (missing or empty)")
      ->capture_default_str();
  command->add_option("--bids", options->bidsDir,
                      "Folder for the BIDS dataset (default: OUTPUT/bids, or OUTPUT when the run "
                      "wrote only the dataset)");
  command->callback([&action, options, &global] {
    action = [options, &global] { return rerun(*options, global); };
  });
}

}  // namespace cohortix::app
