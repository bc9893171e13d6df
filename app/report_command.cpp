// cohortix report RUN: one self-contained HTML page that shows a simulated study
// for judging by eye: the study, its design, its truth, its data and, when an
// analysis or a power table is there, its results.

#include <CLI/CLI.hpp>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <vector>

#include "app/command.h"
#include "app/interrupted_run.h"
#include "app/interruption_watcher.h"
#include "host/analysis/finished_input.h"
#include "host/io/disk_interface.h"
#include "host/record/restored_copy.h"
#include "host/report/recorded_inputs.h"
#include "host/report/result_files.h"
#include "host/report/study_report.h"
#include "host/truth/truth_files_input.h"

namespace cohortix::app {
namespace {

namespace fs = std::filesystem;

struct ReportOptions {
  std::string runFolder;
  std::string output = "report.html";
  std::string controlFile;
  std::string analysisFolder;  // empty: the run's default analysis folder, if there
  std::string powerFile;       // empty: RUN/power.tsv or RUN/power/power.tsv, if there
  bool skipDamaged = false;
  bool allowIncomplete = false;
  double fdThresholdMm = 0.5;
};

ExitStatus makeReport(const ReportOptions& options) {
  host::ReportInputs inputs;
  host::truth::TruthFilesInput truth;  // the run's truth files, when it wrote them
  inputs.truth = &truth;
  inputs.runFolder = options.runFolder;
  inputs.controlFile = options.controlFile;
  inputs.skipDamaged = options.skipDamaged;
  inputs.fdThresholdMm = options.fdThresholdMm;
  // A folder or control file the report cannot take is refused like a control file
  // a run cannot take; a page that cannot be written is a file not written.
  host::RealDiskInterface disk;
  // The control file the run's record keeps, restored where the original is gone:
  // its temporary folder goes with the report (the copy is destroyed before the
  // watcher), a signal's stop too.
  fs::path restoredFolder;
  std::atomic<bool> restored{false};
  const host::InterruptionWatcher watcher([&disk, &restoredFolder, &restored](int signal) {
    stopInterruptedCommand(disk, signal, "the report", [&restoredFolder, &restored] {
      std::error_code ignored;
      if (restored.load()) fs::remove_all(restoredFolder, ignored);
    });
  });
  std::optional<host::record::RestoredCopy> control;
  if (host::Status finished = host::finishedInput(options.runFolder); !finished) {
    if (!options.allowIncomplete) {
      reportError(finished.message() + "; --allow-incomplete reports what is there");
      return ExitStatus::Refused;
    }
    std::cerr << "warning: " << finished.message() << ": reported as it is (--allow-incomplete)\n";
    inputs.unfinished = finished.message();
  }
  if (host::Status recorded = host::takeRunRecord(inputs, control, disk); !recorded) {
    reportError(recorded.context("cannot make the report of " + options.runFolder).message());
    return ExitStatus::RunFailed;
  }
  if (control && !control->folder().empty()) {
    restoredFolder = control->folder();
    restored.store(true);
  }
  host::ResultFiles results(options.runFolder, disk, options.analysisFolder, options.powerFile);
  inputs.results = &results;
  std::vector<std::string> leftOut;
  const host::Result<std::string> html = host::studyReportHtml(inputs, disk, &leftOut);
  for (const std::string& skipped : leftOut) std::cerr << "warning: left out " << skipped << "\n";
  if (!html) {
    reportError(html.status().context("cannot make the report of " + options.runFolder).message());
    return ExitStatus::RunFailed;
  }
  const std::string_view parts[] = {html.value()};
  const host::Status written = disk.writeFile(options.output, parts);
  if (!written) {
    reportError(written.context("cannot write " + options.output).message());
    return ExitStatus::FilesNotWritten;
  }
  // On a terminal, one line naming what was written; in a pipe, nothing.
  if (::isatty(STDERR_FILENO) == 1)
    std::cerr << "report of " << options.runFolder << " written to " << options.output << '\n';
  return ExitStatus::Success;
}

}  // namespace

void addReportCommand(CLI::App& app, const GlobalOptions&, CommandAction& action) {
  auto options = std::make_shared<ReportOptions>();
  CLI::App* command = app.add_subcommand(
      "report", "Make one self-contained HTML page that shows a run's study, design, truth, data and results");
  command->add_option("run", options->runFolder,
                      "A run's output folder (native files) or BIDS dataset")
      ->required();
  command->add_option("-o,--output", options->output, "The report's file")->capture_default_str();
  command->add_option("--control", options->controlFile,
                      "The run's control file (.cxd); a BIDS dataset holds its own under code/");
  command->add_option("--analysis", options->analysisFolder,
                      "The folder of `cohortix analyze` to show (default: RUN/analysis, in a BIDS dataset "
                      "RUN/derivatives/analysis, when there)");
  command->add_option("--power", options->powerFile,
                      "The power.tsv of `cohortix power` to show (default: RUN/power.tsv or "
                      "RUN/power/power.tsv, when there)");
  command->add_option("--fd-threshold", options->fdThresholdMm,
                      "For a run with head motion: mark the volumes whose framewise displacement exceeds "
                      "this, in mm")
      ->capture_default_str()
      ->check(CLI::PositiveNumber);
  command->add_flag("--skip-damaged", options->skipDamaged,
                    "Leave out a subject whose files cannot be read, and say so on the page, "
                    "instead of refusing the report");
  command->add_flag("--allow-incomplete", options->allowIncomplete,
                    "Report a run that has not finished (still written, or stopped), saying so on the page");
  command->callback([&action, options] { action = [options] { return makeReport(*options); }; });
}

}  // namespace cohortix::app
