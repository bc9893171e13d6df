#pragma once
// A power analysis by simulation: one run of the plug-in makes the replicates
// (the expanded control file lives in a private temporary folder, removed
// afterwards), and the power sink analyses and scores them in memory. Nothing of a
// subject is written.
//
// With one group and effects per group, one run serves every sample size: a
// group of n_max R subjects, of which size n takes the first n R. A subject's
// data do not depend on the group's size, so these are the replicates of a run
// for n alone, and each subject is simulated and fitted once. Otherwise each size
// is a run of its own: with effect rows per subject a subject's row follows the
// sample size, and with several groups every replicate stays under way until the
// last group's subjects come, so sharing would hold the replicates of every size
// at once. The plug-in's random state lives as long as the process: each of these
// runs continues the stream where the previous one ended (the first starts it
// afresh). Either way the same command gives the same table.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "control/simulation_design.h"
#include "host/analysis/study_analysis.h"
#include "host/anatomy/anatomy.h"
#include "host/anatomy/vtc_anatomy.h"
#include "host/io/status.h"
#include "host/noise/noise_profile.h"
#include "host/noise/noise_run_settings.h"
#include "host/power/power_sink.h"

namespace cohortix::host {

struct PowerOptions {
  std::filesystem::path controlFile;
  std::vector<int32_t> sampleSizes;  // subjects per group
  int32_t replicates = 100;
  AnalysisOptions analysis;
  std::filesystem::path plugin;
  double repetitionTime = 2.0;
  bool showProgress = false;  // the run's progress line, per run
  // The host's noise, added to every subject before the analysis; none when empty.
  std::optional<noise::NoiseProfile> noise;
  uint64_t noiseSeed = noise::kDefaultNoiseSeed;
  // Score against the regions each replicate's subjects received (false: the
  // spheres the design asks for).
  bool receivedRegions = true;
  // Every subject recomposed on this anatomy before it is analysed, as `run
  // --anatomy` writes it; none when empty.
  std::optional<anatomy::Anatomy> anatomy;
  anatomy::SignalIn signalIn = anatomy::SignalIn::Grey;
  // Where each run's private folder goes; empty: the system's temporary folder.
  std::filesystem::path scratch;
};

struct PowerResult {
  std::vector<PowerRow> rows;
  int64_t subjectsSimulated = 0;  // over all groups and runs
  int32_t runs = 0;               // of the plug-in
};

// Whether one run of the plug-in serves every sample size of the design: one
// group, with effects per group or no region.
bool oneRunServesEverySize(const SimulationDesign& design);

// Messages of the plug-in and the progress line go to `messages`; the plug-in's
// log lines are dropped.
Result<PowerResult> runPowerAnalysis(const PowerOptions& options, std::ostream& messages);

}  // namespace cohortix::host
