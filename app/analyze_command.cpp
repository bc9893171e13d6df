// cohortix analyze RUN: the first-level model of every subject and the group's t
// maps, thresholded, written as NIfTI images with sidecars and summary tables.

#include "app/analyze_command.h"

#include <CLI/CLI.hpp>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <system_error>
#include <thread>

#include "app/group_threshold_options.h"
#include "app/interrupted_run.h"
#include "app/interruption_watcher.h"
#include "app/recorded_groups.h"
#include "host/analysis/analysis_memory.h"
#include "host/analysis/analysis_truth.h"
#include "host/analysis/analysis_warnings.h"
#include "host/analysis/analysis_writer.h"
#include "host/analysis/finished_input.h"
#include "host/analysis/study_analysis.h"
#include "host/analysis/study_source.h"
#include "host/export/bids_sidecars.h"
#include "host/export/export_file.h"
#include "host/io/disk_interface.h"
#include "host/io/result_folder.h"
#include "host/record/restored_copy.h"
#include "host/record/run_recorder.h"
#include "host/report/series_summary.h"
#include "host/truth/truth_files_input.h"

namespace cohortix::app {
namespace {

namespace fs = std::filesystem;

struct AnalyzeOptions {
  std::string run;
  std::string controlFile;  // empty: the run's own, where it holds one
  bool strict = false;
  bool force = false;  // replace an earlier analysis in the output folder
  bool allowIncomplete = false;  // analyse a run that has not finished
  bool designFromEvents = false;
  std::string outputDir;  // empty: RUN/analysis
  std::string motionRegressors;  // the option's value, when given
  bool motionRegressorsGiven = false;
  host::AnalysisOptions analysis;
  GroupThresholdOptions threshold;
};

// A line on standard error redrawn per subject, only on a terminal.
host::AnalysisProgress progressLine() {
  if (::isatty(STDERR_FILENO) != 1) return {};
  return [](std::size_t index, std::size_t count, const std::string& name) {
    std::cerr << "\r\033[Kanalysing subject " << index + 1 << " of " << count << ": " << name
              << std::flush;
  };
}

void clearProgress(const host::AnalysisProgress& progress) {
  if (progress) std::cerr << "\r\033[K" << std::flush;
}

// Beside the run's files; in a BIDS dataset among its derivatives, where the
// dataset's validator expects what is not raw data.
fs::path defaultOutput(const fs::path& run) {
  std::error_code error;
  if (fs::exists(run / "dataset_description.json", error)) return run / "derivatives" / "analysis";
  return run / "analysis";
}

// Each subject's regions as the run's truth files say it received them; none for a
// run written without its truth.
host::ReceivedRegionsReader receivedRegionsOfRun() {
  return [](const host::SubjectEntry& subject) -> host::Result<std::optional<host::RegionLabels>> {
    if (subject.data.empty()) return std::optional<host::RegionLabels>();
    host::SubjectFiles files;
    files.data = subject.data;
    host::truth::TruthFilesInput truth;
    host::Result<std::optional<host::LabelMap>> map = truth.subjectLabelMap(files);
    if (!map) return map.status();
    if (!map.value()) return std::optional<host::RegionLabels>();
    return std::optional<host::RegionLabels>(map.value()->labels());
  };
}

// The control file a folder of native files' record keeps, when the folder has
// a record holding one (a BIDS dataset keeps its own under code/); a record that is
// there but damaged is refused.
host::Result<std::optional<host::record::RestoredCopy>> recordedControlFile(const fs::path& run) {
  std::error_code error;
  const fs::path path = host::record::findRunRecord(run);
  if (path.empty() || fs::exists(run / "dataset_description.json", error))
    return std::optional<host::record::RestoredCopy>();
  host::RealDiskInterface disk;
  host::Result<host::record::RunRecord> record = host::record::readRunRecord(path, disk);
  if (!record) return record.status();
  if (!record->controlFile) return std::optional<host::record::RestoredCopy>();
  host::Result<host::record::RestoredCopy> copy =
      host::record::RestoredCopy::of(*record->controlFile, record.value());
  if (!copy) return copy.status();
  return std::optional<host::record::RestoredCopy>(std::move(copy).value());
}

// The truth of every map, from the study's control file (given, or kept by the
// run's record): the experiment's name, ""
// when there is none (said), nothing when the control file given is refused.
// The run's design: from --control, else the control file the run keeps (its
// record's copy, or a BIDS dataset's under code/). `given` says whether one was
// named, or kept by a record, so that its refusal is an error rather than a note.
host::Result<std::unique_ptr<SimulationDesign>> runDesign(const AnalyzeOptions& options, bool& given) {
  std::optional<host::record::RestoredCopy> recorded;
  fs::path control = options.controlFile;
  if (control.empty()) {
    host::Result<std::optional<host::record::RestoredCopy>> copy = recordedControlFile(options.run);
    if (!copy) {
      given = true;
      return copy.status();
    }
    if (copy.value()) control = recorded.emplace(std::move(*copy.value())).path();
  }
  given = !control.empty();
  return host::readRunDesign(options.run, control);
}

std::optional<std::string> attachTruth(const AnalyzeOptions& options, host::AnalysisWriter& writer) {
  bool given = false;
  host::Result<std::unique_ptr<SimulationDesign>> design = runDesign(options, given);
  if (design) {
    const int32_t subjects = std::max(1, design.value()->NrOfSubjectsPerGroup);
    writer.setTruth(std::make_unique<host::AskedRegions>(*design.value(), subjects));
    writer.setReceivedRegions(receivedRegionsOfRun());
    return std::string(design.value()->ExperimentName);
  }
  if (given) {
    reportError(design.status().message());
    return std::nullopt;
  }
  std::cerr << "cohortix: no truth written: " << design.status().message()
            << "; give the run's control file with --control STUDY.cxd\n";
  return std::string();
}

// The memory the analysis will hold, judged from the first subject's header and
// the run's design (its cells; without a design, the contrasts asked and two more).
host::Status admitMemory(const host::StudySource& source, const AnalyzeOptions& options) {
  const auto& subjects = source.subjects();
  const auto first = std::find_if(subjects.begin(), subjects.end(),
                                  [](const host::SubjectEntry& subject) { return !subject.data.empty(); });
  if (first == subjects.end()) return host::Status::ok();
  host::Result<host::SeriesHeader> header = host::readSeriesHeader(first->data);
  if (!header) return host::Status::ok();  // the analysis names the damaged file itself
  bool given = false;
  host::Result<std::unique_ptr<SimulationDesign>> design = runDesign(options, given);
  const int32_t cells = design ? design.value()->NrOfWithinCells : 1;
  host::AnalysisShape shape;
  shape.voxels = int64_t{header->dims.x} * header->dims.y * header->dims.z;
  shape.volumes = header->volumes;
  shape.subjects = static_cast<int32_t>(subjects.size());
  shape.groups = static_cast<int32_t>(source.groupNames().size());
  shape.effects = 2 * cells + static_cast<int32_t>(options.analysis.contrasts.size());
  shape.keepsSubjectValues = host::needsSubjectValues(options.analysis);
  return host::checkAnalysisMemory(host::analysisMemoryNeedOf(shape), host::memoryLimit());
}

// What an analysis writes into its folder: all of it goes when --force replaces it.
host::ResultKind analysisResult() {
  return {"an analysis",
          {"analysis.json", "maps.tsv", "group", "first-level"},
          {"analysis.json", "maps.tsv", "subjects.tsv", "mask.nii.gz", "mask.json", "truth_regions.nii.gz",
           "truth_regions.json", "dataset_description.json", "first-level", "group"}};
}

// A staging folder the analysis may still be writing into: removed, and again once
// a write under way when the signal came has had its moment.
void removeStaging(const fs::path* staging) {
  if (staging == nullptr) return;
  std::error_code ignored;
  for (int pass = 0; pass < 2; ++pass) {
    fs::remove_all(*staging, ignored);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  fs::remove_all(*staging, ignored);
}

ExitStatus analyze(AnalyzeOptions options) {
  applyGroupThresholdOptions(options.threshold, options.analysis);
  if (options.motionRegressorsGiven) {
    host::Result<host::MotionRegressorSetting> motion = host::motionRegressorSetting(options.motionRegressors);
    if (!motion) {
      reportError(motion.status().message());
      return ExitStatus::UsageError;
    }
    options.analysis.motionRegressors = std::move(motion).value();
  }
  host::RealDiskInterface disk;
  std::optional<host::ResultFolder> folder;
  // Set once, before the staging folder is made: what a signal removes. Both
  // outlive the watcher.
  fs::path stagingPath;
  std::atomic<const fs::path*> staging{nullptr};
  // Up before any thread is started: a signal leaves the folder as it was.
  const host::InterruptionWatcher watcher([&disk, &staging](int signal) {
    stopInterruptedCommand(disk, signal, "the analysis", [&staging] { removeStaging(staging.load()); });
  });
  auto source = host::studySource(options.run, disk, options.designFromEvents);
  if (!source) {
    reportError(source.status().message());
    return ExitStatus::RunFailed;
  }
  source = withRecordedGroupNames(std::move(source).value(), options.run);
  if (!source) {
    reportError(source.status().message());
    return ExitStatus::RunFailed;
  }
  if (host::Status motion = host::checkMotionRegressorFiles(*source.value(), options.analysis.motionRegressors,
                                                              options.analysis.skipDamaged);
      !motion) {
    reportError(motion.message());
    return ExitStatus::RunFailed;
  }
  host::Result<std::vector<std::string>> warnings = host::analysisWarnings(*source.value(), options.analysis);
  if (!warnings) {
    reportError(warnings.status().message());
    return ExitStatus::RunFailed;
  }
  if (host::Status finished = host::finishedInput(options.run); !finished) {
    if (!options.allowIncomplete) {
      reportError(finished.message() + "; --allow-incomplete analyses what is there");
      return ExitStatus::Refused;
    }
    warnings->push_back(finished.message() + ": analysed as it is (--allow-incomplete)");
  }
  for (const std::string& warning : warnings.value()) std::cerr << "warning: " << warning << '\n';
  if (options.strict && !warnings.value().empty()) {
    reportError("nothing analysed: --strict refuses an analysis with warnings");
    return ExitStatus::RunFailed;
  }
  if (host::Status admitted = admitMemory(*source.value(), options); !admitted) {
    reportError(admitted.message());
    return ExitStatus::Refused;
  }
  const fs::path output = options.outputDir.empty() ? defaultOutput(options.run)
                                                    : fs::path(options.outputDir);
  stagingPath = host::ResultFolder::stagingIn(output);
  staging.store(&stagingPath);
  host::Result<host::ResultFolder> opened = host::ResultFolder::open(output, analysisResult(), options.force);
  if (!opened) {
    reportError(opened.status().message());
    return ExitStatus::Refused;
  }
  folder.emplace(std::move(opened).value());
  host::AnalysisWriter writer(folder->staging(), disk, options.analysis, options.run);
  writer.setWarnings(warnings.value());
  const std::optional<std::string> experiment = attachTruth(options, writer);
  if (!experiment) return ExitStatus::RunFailed;
  std::error_code error;
  if (options.outputDir.empty() && fs::exists(fs::path(options.run) / "dataset_description.json", error))
    writer.setDatasetDescription(host::analysisDescriptionJson(
        experiment->empty() ? fs::path(options.run).filename().string() : *experiment));
  const host::AnalysisProgress progress = progressLine();
  const host::Status status = host::analyseStudy(*source.value(), options.analysis, writer, progress);
  clearProgress(progress);
  for (const std::string& skipped : writer.skipped()) std::cerr << "warning: left out " << skipped << "\n";
  if (!writer.truthNote().empty()) std::cerr << "cohortix: " << writer.truthNote() << '\n';
  if (!writer.status()) {
    reportError(writer.status().message());
    return ExitStatus::FilesNotWritten;
  }
  if (!status) {
    reportError(status.message());
    return ExitStatus::RunFailed;
  }
  if (host::Status committed = folder->commit(); !committed) {
    reportError(committed.message());
    return ExitStatus::FilesNotWritten;
  }
  if (::isatty(STDERR_FILENO) == 1)
    std::cerr << "analysed " << source.value()->subjects().size() << " subjects: maps in "
              << output.string() << (writer.truthNote().empty() && !experiment->empty() ? ", with their truth" : "")
              << '\n';
  return ExitStatus::Success;
}

// A significance level: strictly between 0 and 1.
CLI::Validator betweenZeroAndOne() {
  const auto check = [](const std::string& text) -> std::string {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !(value > 0.0 && value < 1.0))
      return "must be a number between 0 and 1, found " + text;
    return {};
  };
  return CLI::Validator(check, "in (0, 1)", "");
}

}  // namespace

void addAnalyzeCommand(CLI::App& app, const GlobalOptions&, CommandAction& action) {
  auto options = std::make_shared<AnalyzeOptions>();
  host::AnalysisOptions& analysis = options->analysis;
  CLI::App* command = app.add_subcommand(
      "analyze", "Fit every subject of a run (or BIDS dataset) and map the group's effects");
  command->add_option("run", options->run, "A run's output folder or a BIDS dataset")->required();
  command->add_option("-o,--output", options->outputDir, "Folder for the maps (default: RUN/analysis; in a BIDS dataset RUN/derivatives/analysis)");
  command->add_option("--control", options->controlFile,
                      "The run's control file (.cxd), for the truth of every map (default: a BIDS "
                      "dataset's own under code/, or the one beside a run's native files)");
  command->add_flag("--force", options->force,
                    "Replace an earlier analysis in the output folder (its files only: see docs/analysis.md)");
  command->add_flag("--allow-incomplete", options->allowIncomplete,
                    "Analyse a run that has not finished (still written, or stopped), saying so in analysis.json");
  command->add_flag("--strict", options->strict,
                    "Refuse, writing nothing, an analysis with warnings (relabellings that cannot "
                    "reach --alpha, a high-pass that removes the design, drifts taking the df)");
  command->add_flag("--ar1", analysis.firstLevel.ar1,
                    "Prewhiten for AR(1) noise, rho pooled over the voxels");
  command->add_flag("--design-from-events", options->designFromEvents,
                    "For a BIDS dataset: build every run's design from its events.tsv and TR, as the "
                    "plug-in builds design matrices (done anyway where a design table is missing)");
  command->add_option("--smooth", analysis.smoothFwhmMm,
                      "Smooth every volume with a Gaussian of this FWHM in mm before the first level "
                      "(0: none)")
      ->capture_default_str()
      ->check(CLI::Range(0.0, 100.0));
  command->add_option("--highpass", analysis.firstLevel.highpassSeconds,
                      "High-pass cutoff period in seconds (0: none)")
      ->capture_default_str()
      ->check(CLI::NonNegativeNumber);
  command->add_option("--contrast", analysis.contrasts,
                      "A contrast to test, \"name: w1 w2 ...\" with one weight per cell (repeatable)");
  command->add_flag("--skip-damaged", analysis.skipDamaged,
                    "Leave out a subject whose files cannot be read, and say so, instead of stopping");
  command->add_option("--alpha", analysis.alpha, "Significance level")
      ->capture_default_str()
      ->check(betweenZeroAndOne());
  CLI::Option* motion =
      command
          ->add_option("--motion-regressors", options->motionRegressors,
                       "Add head motion's six parameters to every first level: the run's motion truth "
                       "(no value), or each subject's realignment table, a path with {subject} (its "
                       "name: S1_G1_Study, sub-01)")
          ->expected(0, 1);
  addGroupThresholdOptions(*command, options->threshold, analysis);
  command->callback([&action, options, motion] {
    options->motionRegressorsGiven = motion->count() > 0;
    action = [options] { return analyze(*options); };
  });
}

}  // namespace cohortix::app
