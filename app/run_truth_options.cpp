#include "app/run_truth_options.h"

#include <filesystem>

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
                "Leave the ground truth out of a --bids dataset's derivatives")
      ->excludes(truth);
  command.add_flag("--verify-truth", options.verify,
                   "Replay every subject's draws as well and fail the run (status 4, the subject "
                   "named) where the plug-in's report of them or its data differ from the replay; "
                   "costs about the simulation's time again");
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

namespace {

std::unique_ptr<SimulationDesign> designIn(const std::filesystem::path& controlFile) {
  // The design is far too large for the stack.
  auto design = std::make_unique<SimulationDesign>();
  std::string message;
  if (!parseControlFile(controlFile.c_str(), *design, message)) return nullptr;
  return design;
}

// Every subject the plug-in saves, replayed from the study it runs.
std::unique_ptr<host::truth::TruthVerifier> attachVerifier(const host::SessionOptions& run,
                                                           host::HostSession& session) {
  const std::filesystem::path& pluginFile =
      run.pluginControlFile.empty() ? run.controlFile : run.pluginControlFile;
  const std::unique_ptr<SimulationDesign> design = designIn(pluginFile);
  if (design == nullptr) return nullptr;
  auto verifier = std::make_unique<host::truth::TruthVerifier>(*design);
  session.output().addWitness(*verifier);
  session.output().addSink(*verifier);
  return verifier;
}

}  // namespace

RunTruth attachTruth(const TruthRunOptions& options, const host::SessionOptions& run,
                     const host::ExportOptions& exports, host::DiskInterface& disk,
                     host::HostSession& session, std::optional<host::truth::TruthNoise> noise,
                     const RunAnatomy* anatomy) {
  RunTruth attached;
  if (options.verify) attached.verifier = attachVerifier(run, session);
  if (!options.truth && (exports.bidsDir.empty() || options.noTruth)) return attached;
  const std::unique_ptr<SimulationDesign> design = designIn(run.controlFile);
  if (design == nullptr) return attached;
  host::truth::TruthSetting setting;
  setting.outputDir = run.outputDir;
  setting.nativeFiles = options.truth;
  setting.bidsDir = exports.bidsDir;
  setting.gzip = exports.gzip;
  // A plug-in that does not report what it draws is replayed, from its own data:
  // ahead of the host's noise when there is any; otherwise in the sink.
  const bool dataChanged = noise && !noise->profile.empty();
  setting.noise = std::move(noise);
  if (anatomy != nullptr) {
    setting.recompose = [anatomy](host::truth::SubjectTruth& truth) {
      anatomy->composition().composeTruth(truth);
    };
    setting.placeOf = [anatomy](const std::array<double, 3>& talairach) {
      return anatomy->placeJson(talairach);
    };
    if (anatomy->composition().variation())
      setting.ownAnatomy = [anatomy](int32_t subjectNumber) { return anatomy->ownAnatomyJson(subjectNumber); };
  }
  attached.truth =
      std::make_unique<host::truth::GroundTruth>(*design, std::move(setting), disk, std::cerr);
  if (dataChanged) session.output().addFirstStage(*attached.truth);
  session.output().addSink(*attached.truth);
  return attached;
}

}  // namespace cohortix::app
