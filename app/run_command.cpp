// cohortix run STUDY.cxd: the host answers the plug-in's file dialog with the
// control file and serves the whole run.

#include <CLI/CLI.hpp>
#include <filesystem>
#include <iostream>
#include <memory>

#include "app/command.h"
#include "app/interrupted_run.h"
#include "app/leftover_temporaries.h"
#include "app/run_exports.h"
#include "app/run_noise_options.h"
#include "control/control_file_reader.h"
#include "host/export/export_file.h"
#include "host/io/disk_interface.h"
#include "app/interruption_watcher.h"
#include "host/session/host_session.h"
#include "host/loader/plugin_run.h"
#include "host/documents/two_gamma_hrf.h"

namespace cohortix::app {
namespace {

struct RunOptions {
  std::string controlFile;
  std::string outputDir = ".";
  double repetitionTime = 2.0;
  bool quiet = false;
  host::ExportOptions exports;
  std::string bidsDir;
  RunNoiseOptions noise;
};

ExitStatus exitStatusOf(const host::PluginRunResult& result) {
  switch (result.outcome) {
    case host::PluginRunOutcome::Completed: return ExitStatus::Success;
    case host::PluginRunOutcome::Failed: return ExitStatus::RunFailed;
    case host::PluginRunOutcome::Refused: return ExitStatus::PluginUnavailable;
    case host::PluginRunOutcome::Unavailable: break;
  }
  reportError(result.error);
  return ExitStatus::PluginUnavailable;
}

// A run that completed but could not write every file exits FilesNotWritten; the
// session has already said which files are missing.
ExitStatus withWrittenFiles(ExitStatus status, bool allWritten) {
  return status == ExitStatus::Success && !allWritten ? ExitStatus::FilesNotWritten : status;
}

// The study as the host reads it for itself, once, through the plug-in's reader:
// its subjects in run order for the output path and its sinks, its groups and
// summary for the exports; null when the file is refused (the plug-in then says
// why).
std::unique_ptr<SimulationDesign> studyIn(const std::filesystem::path& controlFile) {
  // The design is far too large for the stack.
  auto design = std::make_unique<SimulationDesign>();
  std::string message;
  if (!parseControlFile(controlFile.c_str(), *design, message)) return nullptr;
  return design;
}

ExitStatus runStudy(const RunOptions& run, const GlobalOptions& global) {
  host::SessionOptions options;
  options.controlFile = std::filesystem::absolute(run.controlFile);
  options.outputDir = run.outputDir;
  options.repetitionTime = run.repetitionTime;
  options.quiet = run.quiet;
  options.showProgress = host::progressWanted(run.quiet);
  std::unique_ptr<SimulationDesign> design = studyIn(options.controlFile);
  if (design) options.study = host::runOrderOf(*design);
  host::RealDiskInterface disk;
  host::Result<std::unique_ptr<RunNoise>> noise =
      RunNoise::prepare(run.noise, options, design.get(), disk);
  if (!noise) {
    reportError(noise.status().message());
    return ExitStatus::RunFailed;
  }
  // Declared before the session, whose output path uses them until it finishes.
  std::unique_ptr<host::StudyExports> exports;
  host::HostSession session(options, std::cout, std::cerr, disk);
  // Up before the first file is written; gone before the session.
  const host::InterruptionWatcher watcher(
      [&disk, &noise](int signal) {
        noise.value()->removeTemporaries();
        stopInterruptedRun(disk, signal);
      });
  if (!session.prepareOutputFolder()) return ExitStatus::FilesNotWritten;
  removeLeftoversOfStudy(options.controlFile, options.outputDir, std::cerr);
  host::ExportOptions exportOptions = run.exports;
  exportOptions.readmeNote = noise.value()->readmeNote();
  host::Result<std::unique_ptr<host::StudyExports>> opened =
      openExports(exportOptions, options, design.get(), disk);
  if (!opened) {
    reportError(opened.status().message());
    return ExitStatus::FilesNotWritten;
  }
  exports = std::move(opened).value();
  design.reset();
  noise.value()->plugInto(session);
  if (exports) session.output().addSink(*exports);
  const ExitStatus status = exitStatusOf(host::runPlugin(pluginPathOf(global), session));
  return withWrittenFiles(status, session.finish());
}

// Beyond this the volumes are too far apart to sample the haemodynamic response.
CLI::Validator atMostMaxRepetitionTime() {
  const auto check = [](const std::string& text) -> std::string {
    if (std::stod(text) <= host::kMaxRepetitionTime) return {};
    return "the repetition time must be at most " + std::to_string(static_cast<int>(host::kMaxRepetitionTime)) +
           " seconds to sample the haemodynamic response";
  };
  return CLI::Validator(check, "", "");
}

}  // namespace

void addRunCommand(CLI::App& app, const GlobalOptions& global, CommandAction& action) {
  auto run = std::make_shared<RunOptions>();
  CLI::App* command = app.add_subcommand("run", "Simulate the study a control file describes");
  command->add_option("control-file", run->controlFile, "Control file (.cxd)")->required();
  command->add_option("-o,--output", run->outputDir, "Folder for the output files")
      ->capture_default_str();
  command->add_option("--tr", run->repetitionTime, "Repetition time in seconds")
      ->capture_default_str()
      ->check(CLI::PositiveNumber)
      ->check(atMostMaxRepetitionTime());
  addRunNoiseOptions(*command, run->noise);
  command->add_flag("-q,--quiet", run->quiet, "No log lines and no progress; messages stay");
  command->add_flag("--nifti", run->exports.nifti,
                    "Also write each subject's VTC as NIfTI, its protocol's events and its "
                    "design matrix as TSV, beside the native files");
  command->add_flag("--gzip", run->exports.gzip,
                    "Compress the NIfTI volumes (.nii.gz) of --nifti and --bids");
  command->add_option("--bids", run->bidsDir,
                      "Also write the study as a BIDS dataset into this folder (missing or "
                      "empty)");
  command->callback([&action, run, &global] {
    run->exports.bidsDir = run->bidsDir;
    if (run->exports.gzip && !run->exports.nifti && run->bidsDir.empty())
      throw CLI::ValidationError("--gzip", "compresses the volumes of --nifti or --bids; give one");
    action = [run, &global] { return runStudy(*run, global); };
  });
}

}  // namespace cohortix::app
