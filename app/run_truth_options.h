#pragma once
// What a run adds at its ends on the command line: --truth writes the ground
// truth beside the native files (--bids under the dataset's derivatives, unless
// --no-truth); --verify-truth replays every subject and holds the plug-in's report
// against it; --report FILE writes the study report once the run's files are
// complete.

#include <CLI/CLI.hpp>
#include <string>

#include "app/exit_status.h"
#include <memory>
#include <optional>

#include "host/session/host_session.h"
#include "host/session/study_exports.h"
#include "host/truth/ground_truth.h"
#include "host/truth/truth_verifier.h"
#include "app/run_anatomy_options.h"

namespace cohortix::app {

struct TruthRunOptions {
  bool truth = false;
  // A BIDS dataset without its truth derivatives.
  bool noTruth = false;
  bool verify = false;  // replay every subject and check the plug-in's report
  std::string report;  // empty: no report
};

void addTruthOptions(CLI::App& command, TruthRunOptions& options);

// The truth on the session's output path and its check; each null when not asked
// for or when the host could not read the study.
struct RunTruth {
  std::unique_ptr<host::truth::GroundTruth> truth;
  std::unique_ptr<host::truth::TruthVerifier> verifier;
};

// The truth on the session's output path, ahead of every other stage, and the
// verifier as a witness of every subject. `noise` is the host's noise and
// replicate the run adds after the plug-in, which the truth records; `anatomy`,
// when the run recomposes its subjects on one, what the truth says they hold.
RunTruth attachTruth(const TruthRunOptions& options, const host::SessionOptions& run,
                     const host::ExportOptions& exports, host::DiskInterface& disk,
                     host::HostSession& session, std::optional<host::truth::TruthNoise> noise,
                     const RunAnatomy* anatomy = nullptr);

// After the run: the report, when asked for, of the run's output folder with its
// truth. A report that cannot be made or written makes a successful run one with
// files not written; a failed run keeps its own status.
ExitStatus finishWithReport(const TruthRunOptions& options, const host::SessionOptions& run,
                            ExitStatus status, host::DiskInterface& disk);

}  // namespace cohortix::app
