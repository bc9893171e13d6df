// cohortix run STUDY.cxd: the host answers the plug-in's file dialog with the
// control file and serves the whole run.

#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>

#include "app/command.h"
#include "app/command_record.h"
#include "app/interrupted_run.h"
#include "app/leftover_temporaries.h"
#include "app/design_warnings.h"
#include "app/resume_check.h"
#include "app/resume_from_record.h"
#include "app/run_admission.h"
#include "app/run_anatomy_options.h"
#include "app/run_export_options.h"
#include "app/run_exports.h"
#include "app/run_noise_options.h"
#include "app/run_truth_options.h"
#include "control/supported_design.h"
#include "abi/host_functions.h"
#include "host/session/general_services.h"
#include "host/session/disk_room.h"
#include "host/session/memory_budget.h"
#include "control/control_file_reader.h"
#include "host/export/export_file.h"
#include "host/io/disk_interface.h"
#include "app/interruption_watcher.h"
#include "host/session/host_session.h"
#include "host/loader/plugin_library.h"
#include "host/loader/plugin_run.h"
#include "host/documents/two_gamma_hrf.h"
#include "host/export/decimal_text.h"

namespace cohortix::app {
namespace {

struct RunOptions {
  std::string controlFile;
  std::string outputDir = ".";
  double repetitionTime = 2.0;
  bool quiet = false;
  host::ExportOptions exports;
  std::string bidsDir;
  bool force = false;
  TruthRunOptions truth;
  RunNoiseOptions noise;
  host::record::RunRecord asked;  // for the run's record
  RunAnatomyOptions anatomy;
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

// Everything a run must be granted before the plug-in starts (app/run_admission.h):
// each refusal is said in one line and ends the command with status 5 before
// anything is written. `design` is null when the host could not read the control
// file: the plug-in then says why and writes nothing, so no folder is made for it.
class RunAdmission {
 public:
  RunAdmission(const RunOptions& run, const host::SessionOptions& options,
               const SimulationDesign* design)
      : run_(run), options_(options), design_(design) {}

  // The checks that touch nothing: memory, the folders' kinds, and
  // an output folder that is there already (locked from here on).
  bool beforeExports() {
    if (design_ == nullptr) return true;
    host::MemoryNeed need = host::memoryNeedOf(*design_, exportsAsked(run_.exports));
    // Head motion moves a subject's volumes in a copy of its data.
    if (!run_.anatomy.motion.empty()) need.totalBytes = host::saturatedSum(need.totalBytes, need.vtcBytes);
    if (!granted(host::checkRunMemory(need, host::memoryLimit()))) return false;
    if (!granted(folderOrMissing(options_.outputDir, "the output folder")) ||
        !granted(folderOrMissing(run_.bidsDir, "--bids")))
      return false;
    std::error_code error;
    if (writesNative() && std::filesystem::is_directory(options_.outputDir, error) &&
        !claimOutputFolder())
      return false;
    // The dataset's folder is made and locked before its emptiness is judged, so
    // two runs cannot both find it empty; a native folder inside it comes later.
    if (run_.bidsDir.empty()) return true;
    if (!granted(disk_.makeDirs(run_.bidsDir).context("cannot create the folder " + run_.bidsDir)))
      return false;
    if (!granted(locks_.take(run_.bidsDir))) return false;
    // Only now: a temporary of a live run in the dataset would be its writer's.
    if (run_.exports.resume) removeLeftoversOfDataset(run_.bidsDir, std::cerr);
    if (run_.exports.resume &&
        !granted(resumeMatches(run_.bidsDir, run_.asked, options_.controlFile, *design_)))
      return false;
    // Said once here rather than once for every subject's files.
    return granted(writableFolder(run_.bidsDir, "the BIDS folder"));
  }

  // After the exports have opened: the output folder made, locked and cleared, and
  // room on the disks for what is sure to be written.
  bool afterExports(host::HostSession& session) {
    if (design_ == nullptr) return true;
    // A dataset-only run makes no output folder at all.
    if (writesNative()) {
      if (!locks_.holds(options_.outputDir) && (!session.prepareOutputFolder() || !claimOutputFolder()))
        return false;
      // --force removes the earlier run only for a design the plug-in will run.
      if (run_.force && supportedDesign(*design_) &&
          !granted(clearEarlierRun(options_.outputDir, design_->ExperimentName, true)))
        return false;
    }
    if (!supportedDesign(*design_)) return true;
    if (writesNative() && !granted(writableFolder(options_.outputDir, "the output folder"))) return false;
    return granted(host::checkDiskRoom(plannedOutputs()));
  }

 private:
  bool writesNative() const { return !run_.exports.noNative; }

  // A resumed dataset's run rewrites the native files of the subjects it replays,
  // so the earlier native files of that run are its own, not another run's.
  bool replacesEarlierRun() const { return run_.force || run_.exports.resume; }

  // What the run is sure to write: every subject's volume time course in the
  // native folder (and its uncompressed --nifti copy), and in an uncompressed
  // dataset begun afresh its bold volume (compressed files and a resumed dataset's
  // remaining subjects are not counted).
  std::vector<host::PlannedOutput> plannedOutputs() const {
    const uint64_t subjects = static_cast<uint64_t>(std::max(design_->NrOfSubjects, 0));
    const uint64_t volume = host::memoryNeedOf(*design_, false).vtcBytes;
    const uint64_t copies = run_.exports.nifti && !run_.exports.gzip ? 2 : 1;
    std::vector<host::PlannedOutput> outputs;
    if (writesNative())
      outputs.push_back({options_.outputDir, "the output folder", host::saturatedProduct({subjects, volume, copies})});
    if (!run_.bidsDir.empty() && !run_.exports.gzip && !run_.exports.resume)
      outputs.push_back({run_.bidsDir, "the BIDS folder", host::saturatedProduct({subjects, volume})});
    return outputs;
  }

  bool claimOutputFolder() {
    if (!granted(locks_.take(options_.outputDir))) return false;
    // Only now: a temporary of a live run in this folder would be its writer's.
    removeLeftoversOfStudy(options_.controlFile, options_.outputDir, std::cerr);
    return replacesEarlierRun() ||
           granted(clearEarlierRun(options_.outputDir, design_->ExperimentName, false));
  }

  static bool granted(const host::Status& status) {
    if (!status) reportError(status.message());
    return status.isOk();
  }

  const RunOptions& run_;
  const host::SessionOptions& options_;
  const SimulationDesign* design_;
  host::RealDiskInterface disk_;
  RunLocks locks_;
};

// What the truth records of the host's noise and the replicate: nothing for a run
// that adds neither.
std::optional<host::truth::TruthNoise> truthNoiseOf(const host::noise::NoiseRunSettings& noise) {
  if (!noise.hasNoise() && noise.replicate == 0) return std::nullopt;
  return host::truth::TruthNoise{noise.hasNoise() ? noise.profileName : std::string(),
                                 noise.seed, static_cast<int32_t>(noise.replicate)};
}

// The run's record in the making: its outputs, its noise, the stage before the
// plug-in starts.
void describeRun(CommandRecord& record, const RunOptions& run,
                 const host::SessionOptions& options) {
  if (options.writeNative) record.addOutput("native", options.outputDir);
  if (!run.bidsDir.empty()) record.addOutput("bids", run.bidsDir, run.exports.resume);
  record.setNoise(run.noise.profile.empty() ? std::nullopt : std::optional<uint64_t>(run.noise.seed),
                  run.noise.replicate);
  record.stage("preparation");
}

// The anatomy, built before anything is written; none without --anatomy or a
// design (the plug-in then says why it refuses the control file).
host::Result<std::unique_ptr<RunAnatomy>> prepareAnatomy(const RunOptions& run,
                                                         const SimulationDesign* design,
                                                         const host::PluginLibrary& plugin,
                                                         RunNoise& noise) {
  if (design == nullptr) return std::unique_ptr<RunAnatomy>();
  // A profile's [motion] or [slices] is refused without the anatomy.
  host::Result<host::motion::RunAcquisition> acquisition =
      runAcquisition(run.anatomy, run.noise.profile, *design, run.repetitionTime);
  if (!acquisition) return acquisition.status();
  if (!run.anatomy.wanted) return std::unique_ptr<RunAnatomy>();
  if (plugin.entryPoints().reportSubjects == nullptr)
    return host::Status::error("--anatomy recomposes every subject from what the plug-in reports "
                               "it drew, and the loaded plug-in reports nothing");
  // Where the host's noise takes the plug-in's place, the anatomy composes the
  // data without it and the noise goes on at the composed baseline.
  host::noise::NoiseStage* stage = noise.stage();
  const bool replaced = stage != nullptr && stage->replacesPluginNoise();
  host::Result<std::unique_ptr<RunAnatomy>> anatomy = RunAnatomy::prepare(
      run.anatomy, *design, acquisition.value(), !replaced, run.noise.seed, run.noise.replicate, run.repetitionTime);
  if (anatomy && replaced) {
    const host::anatomy::Composition& composition = anatomy.value()->composition();
    stage->takeRecomposedData([&composition](const host::SavedSubject& subject) {
      return composition.composedBaseline(*subject.components);
    });
  }
  return anatomy;
}

host::anatomy::AnatomyOutputSetting anatomyOutputs(const RunOptions& run,
                                                   const host::SessionOptions& options,
                                                   const SimulationDesign& design) {
  host::anatomy::AnatomyOutputSetting setting;
  setting.outputDir = options.outputDir;
  setting.nativeFiles = run.truth.truth;
  setting.bidsDir = run.bidsDir;
  setting.bidsTruth = !run.truth.noTruth;
  setting.gzip = run.exports.gzip;
  setting.experiment = design.ExperimentName;
  setting.largestSubjectNumber = design.NrOfSubjects;
  return setting;
}

ExitStatus runStudy(const RunOptions& run, const GlobalOptions& global) {
  host::SessionOptions options;
  options.controlFile = std::filesystem::absolute(run.controlFile);
  options.outputDir = run.outputDir;
  options.repetitionTime = run.repetitionTime;
  options.quiet = run.quiet;
  options.showProgress = host::progressWanted(run.quiet);
  // A plug-in that cannot be loaded is said first: no run could take place at all.
  std::string loadError;
  const std::unique_ptr<host::PluginLibrary> plugin =
      host::PluginLibrary::open(pluginPathOf(global), loadError);
  if (plugin == nullptr) {
    reportError("cannot load the plug-in " + pluginPathOf(global) + ": " + loadError);
    return ExitStatus::PluginUnavailable;
  }
  // Before the host reads it: a FIFO or a device must not hold the run.
  if (const host::Status readable = controlFileReadable(options.controlFile); !readable) {
    reportError(readable.message());
    return ExitStatus::Refused;
  }
  if (host::dialogAnswerFor(options.controlFile).empty()) {
    reportError("the path of the control file " + options.controlFile.string() + " (" +
                std::to_string(options.controlFile.string().size()) +
                " bytes) is longer than the plug-in can take, even relative to the current "
                "folder (" + std::to_string(kFileNameBufferSize - 1) +
                " bytes at most); move the file or run from a folder nearer to it");
    return ExitStatus::Refused;
  }
  options.writeNative = !run.exports.noNative;
  std::unique_ptr<SimulationDesign> design = studyIn(options.controlFile);
  if (design && !printDesignWarnings(options.controlFile, run.exports.nifti || !run.bidsDir.empty(),
                                     std::cerr))
    return ExitStatus::Refused;
  if (design) options.study = host::runOrderOf(*design);
  host::RealDiskInterface disk;
  CommandRecord record(run.asked, plugin.get(), pluginPathOf(global));
  describeRun(record, run, options);
  record.observe(disk);
  host::Result<std::unique_ptr<RunNoise>> noise =
      RunNoise::prepare(run.noise, options, design.get(), disk);
  if (!noise) {
    reportError(noise.status().message());
    return ExitStatus::Refused;
  }
  host::Result<std::unique_ptr<RunAnatomy>> anatomy =
      prepareAnatomy(run, design.get(), *plugin, *noise.value());
  if (!anatomy) {
    reportError(anatomy.status().message());
    return ExitStatus::Refused;
  }
  if (anatomy.value() && !run.quiet) std::cerr << "cohortix: " << anatomy.value()->preparedText() << '\n';
  // Up before the first file is removed or written.
  const host::InterruptionWatcher watcher([&disk, &noise, &record](int signal) {
    noise.value()->removeTemporaries();
    record.abandonWrites();
    stopInterruptedRun(disk, signal);
  });
  RunAdmission admission(run, options, design.get());
  if (!admission.beforeExports()) return ExitStatus::Refused;
  // Declared before the session, whose output path uses them until it finishes.
  std::unique_ptr<host::StudyExports> exports;
  RecordSnapshots snapshots(record);
  RunTruth truth;
  host::HostSession session(options, std::cout, std::cerr, disk);
  host::ExportOptions exportOptions = run.exports;
  exportOptions.readmeNote = noise.value()->readmeNote();
  if (anatomy.value()) {
    exportOptions.sliceTiming = anatomy.value()->sliceTimes();
    exportOptions.multiband = anatomy.value()->multiband();
  }
  host::Result<std::unique_ptr<host::StudyExports>> opened =
      openExports(exportOptions, options, design.get(), disk);
  if (!opened) {
    reportError(opened.status().message());
    return ExitStatus::Refused;
  }
  exports = std::move(opened).value();
  if (!admission.afterExports(session)) return ExitStatus::Refused;
  if (anatomy.value())
    anatomy.value()->plugInto(session, anatomyOutputs(run, options, *design), disk);
  // Only a run the plug-in will take makes files, and so a record, from here on.
  if (design && supportedDesign(*design)) record.begin();
  design.reset();
  noise.value()->plugInto(session);
  if (exports) session.output().addSink(*exports);
  if (exports) session.output().addSink(snapshots);
  truth = attachTruth(run.truth, options, run.exports, disk, session,
                      truthNoiseOf(noise.value()->settings()),
                      anatomy.value().get());
  // The run's files are flushed and renamed behind their writers, so that the disk
  // always has work queued while the next subject is made; the session's end
  // waits for them and counts what could not be put in place.
  disk.commitBehind(true);
  record.stage("simulation");
  const ExitStatus status = exitStatusOf(host::runPlugin(pluginPathOf(global), session));
  record.stage("writing");
  const bool allWritten = session.finish();
  disk.commitBehind(false);
  // What a completed run did; a refused one has said why and did nothing.
  if (!run.quiet && status == ExitStatus::Success) {
    std::cerr << "cohortix: " << session.summary() << '\n';
    if (options.writeNative) sayWhereFilesWent(run.asked, options.outputDir, run.quiet);
  }
  record.stage("report");
  return record.finish(
      finishWithReport(run.truth, options, withWrittenFiles(status, allWritten), disk), disk);
}

// A finite number of seconds between the bounds: below them the response kernel
// outgrows any use, above them the volumes are too far apart to sample it.
CLI::Validator repetitionTimeInRange() {
  const auto check = [](const std::string& text) -> std::string {
    char* end = nullptr;
    const double seconds = std::strtod(text.c_str(), &end);
    if (end != text.c_str() && *end == '\0' && std::isfinite(seconds) &&
        seconds >= host::kMinRepetitionTime && seconds <= host::kMaxRepetitionTime)
      return {};
    return "--tr must be between " + host::roundedText(host::kMinRepetitionTime) + " and " +
           host::roundedText(host::kMaxRepetitionTime) + " seconds, not " + text;
  };
  return CLI::Validator(check, "", "");
}

}  // namespace

void addRunCommand(CLI::App& app, const GlobalOptions& global, CommandAction& action) {
  auto run = std::make_shared<RunOptions>();
  CLI::App* command = app.add_subcommand("run", "Simulate the study a control file describes");
  command->add_option("control-file", run->controlFile,
                      "Control file (.cxd); with --resume, the dataset's run record has it");
  command->add_option("-o,--output", run->outputDir, "Folder for the output files")
      ->capture_default_str();
  command->add_option("--tr", run->repetitionTime,
                      "Repetition time in seconds, from 0.05 to 10, for the haemodynamic response")
      ->capture_default_str()
      ->check(repetitionTimeInRange());
  addRunNoiseOptions(*command, run->noise);
  command->add_flag("-q,--quiet", run->quiet, "No log lines and no progress; messages stay");
  command->add_flag("--nifti", run->exports.nifti,
                    "Also write each subject's VTC as NIfTI, its protocol's events and its "
                    "design matrix as TSV, beside the native files");
  command->add_flag("--gzip", run->exports.gzip,
                    "Compress the NIfTI volumes (.nii.gz) of --nifti and --bids");
  command->add_flag("--force", run->force,
                    "Replace the files of an earlier run of the same experiment in the output "
                    "folder (removed before the run starts); without it such a folder is refused");
  command->add_option("--bids", run->bidsDir,
                      "Also write the study as a BIDS dataset into this folder (missing or "
                      "empty)");
  addTruthOptions(*command, run->truth);
  CLI::Option* anatomy = addRunAnatomyOptions(*command, run->anatomy);
  addRunExportOptions(*command, run->exports);
  command->callback([&action, run, &global, command, anatomy] {
    run->exports.bidsDir = run->bidsDir;
    run->anatomy.wanted = anatomy->count() > 0;
    run->asked = askedOf(*command, global);
    if (run->controlFile.empty()) {
      if (!run->exports.resume) throw CLI::RequiredError("control-file");
      action = [run, &global] { return resumeFromRecord(run->bidsDir, run->asked, global); };
      return;
    }
    // The seed draws the host's noise, the subjects' own anatomies and their
    // motion: alone it does nothing.
    if (command->count("--seed") > 0 && run->noise.profile.empty() && !run->anatomy.variation &&
        run->anatomy.motion.empty())
      throw CLI::ValidationError("--seed",
                                 "seeds the host's noise (--noise), --anatomy-variation or --motion; give one");
    if (!run->anatomy.sliceOrder.empty() && !run->anatomy.wanted)
      throw CLI::ValidationError("--slice-order",
                                 "times the slices of --anatomy's recomposed signal: give --anatomy as well");
    if (!run->anatomy.motion.empty() && !run->anatomy.wanted)
      throw CLI::ValidationError("--motion",
                                 "moves the head of --anatomy's brain; the plug-in's box alone cannot be seen "
                                 "to move: give --anatomy as well");
    if (run->exports.gzip && !run->exports.nifti && run->bidsDir.empty())
      throw CLI::ValidationError("--gzip", "compresses the volumes of --nifti or --bids; give one");
    action = [run, &global] { return runStudy(*run, global); };
  });
}

}  // namespace cohortix::app
