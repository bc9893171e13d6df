#include "app/run_truth_options.h"

#include <iostream>

#include "app/command.h"
#include "control/control_file_reader.h"
#include "host/report/result_files.h"
#include "host/report/study_report.h"
#include "host/truth/truth_files_input.h"

namespace cohortix::app {

void addTruthOptions(CLI::App& command, TruthRunOptions& options) {
  CLI::Option* truth = command.add_flag(
      "--truth", options.truth,
      "Also write each subject's ground truth (effects, regions, baselines) beside the native "
      "files, and the study's truth table");
  command
      .add_flag("--no-truth", options.noTruth,
                "Leave the ground truth out of a --bids dataset's derivatives (it replays every "
                "subject's draws, which costs about the simulation's time again)")
      ->excludes(truth);
  command.add_option("--report", options.report,
                     "Also write the study report (HTML) to this file when the run is done");
}

ExitStatus finishWithReport(const TruthRunOptions& options, const host::SessionOptions& run,
                            ExitStatus status, host::DiskInterface& disk) {
  const bool filesMade = status == ExitStatus::Success || status == ExitStatus::FilesNotWritten;
  if (options.report.empty() || !filesMade) return status;
  host::truth::TruthFilesInput truth;
  host::ReportInputs inputs;
  inputs.runFolder = run.outputDir;
  inputs.controlFile = run.controlFile;
  inputs.truth = &truth;
  host::ResultFiles results(run.outputDir, disk);  // results already beside the run, if any
  inputs.results = &results;
  const host::Status written = host::writeStudyReport(inputs, options.report, disk);
  if (written) return status;
  reportError(written.context("cannot write the report " + options.report).message());
  return ExitStatus::FilesNotWritten;
}

std::unique_ptr<host::truth::GroundTruth> attachTruth(const TruthRunOptions& options,
                                                      const host::SessionOptions& run,
                                                      const host::ExportOptions& exports,
                                                      host::DiskInterface& disk,
                                                      host::HostSession& session,
                                                      std::optional<host::truth::TruthNoise> noise) {
  if (!options.truth && (exports.bidsDir.empty() || options.noTruth)) return nullptr;
  // A replicate's run skips the subjects before its own, which the replay needs:
  // its dataset goes without the truth (the dataset's README names the replicate).
  if (noise && noise->replicate > 0) return nullptr;
  // The design is far too large for the stack.
  auto design = std::make_unique<SimulationDesign>();
  std::string message;
  if (!parseControlFile(run.controlFile.c_str(), *design, message)) return nullptr;
  host::truth::TruthSetting setting;
  setting.outputDir = run.outputDir;
  setting.nativeFiles = options.truth;
  setting.bidsDir = exports.bidsDir;
  setting.gzip = exports.gzip;
  // The replay needs the plug-in's own data: ahead of the host's noise when there
  // is any; otherwise it runs in the sink, beside the writing of the other files.
  const bool dataChanged = noise && !noise->profile.empty();
  setting.noise = std::move(noise);
  auto truth =
      std::make_unique<host::truth::GroundTruth>(*design, std::move(setting), disk, std::cerr);
  if (dataChanged) session.output().addFirstStage(*truth);
  session.output().addSink(*truth);
  return truth;
}

}  // namespace cohortix::app
