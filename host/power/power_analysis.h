#pragma once
// A power analysis by simulation: replicate studies made in memory by the
// plug-in's own subject model, each from its own point of the plug-in's random
// cycle (replicate_stream.h), analysed and scored as they come (power_sink.h).
// Nothing of a subject is written. The replicates are jobs that any number of
// threads take in turn: each makes a replicate's subjects, both groups one after
// the other, and scores it, so a thread holds one replicate (per sample size) at a
// time whatever the number of replicates, and the table, tallied in replicate
// order, is the same byte for byte for any number of threads.
//
// With one group and effects per group, one replicate of the largest size serves
// every sample size: size n takes its first n subjects, which are exactly the
// plug-in's study of n subjects from the same start (a subject's data do not
// depend on the group's size), so each subject is simulated and fitted once.
// Otherwise each size has replicates of its own: with effect rows per subject a
// subject's row follows the sample size, and with several groups the second
// group's subjects follow the first group's in the stream.

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
#include "host/power/replicate_block.h"

namespace cohortix::host {

struct PowerOptions {
  std::filesystem::path controlFile;
  std::vector<int32_t> sampleSizes;  // subjects per group
  int32_t replicates = 100;
  AnalysisOptions analysis;
  std::filesystem::path plugin;
  double repetitionTime = 2.0;
  bool showProgress = false;  // a progress line over all replicates
  // Threads that make and analyse replicates; 0: one per core.
  int32_t jobs = 0;
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
  // Where the private folder of the expanded control files goes; empty: the
  // system's temporary folder.
  std::filesystem::path scratch;
  // The block of the `replicates` this process makes and scores (all by default),
  // and whether every replicate's scores are kept in the result (for a block's
  // part of the table).
  ReplicateBlock block;
  bool keepScores = false;
};

struct PowerResult {
  // Tallied over the block's replicates alone.
  std::vector<PowerRow> rows;
  // With keepScores: per sample size, in the order of the rows (of every set of
  // replicates), every replicate's scores in replicate order.
  std::vector<std::vector<ReplicateScores>> scores;
  int64_t subjectsSimulated = 0;  // over all groups and replicates
  int32_t runs = 0;               // sets of replicates: one, or one per sample size
};

// Whether one replicate serves every sample size of the design: one group, with
// effects per group or no region.
bool oneRunServesEverySize(const SimulationDesign& design);

// The threads a power analysis with `jobs` asked (0: one per core) uses.
int32_t powerThreads(int32_t jobs);

// The replicates' streams against the generator's cycle: the uniforms a replicate
// of the largest size draws, and how far apart the replicates start.
struct ReplicateOverlap {
  uint64_t uniformsPerReplicate = 0;
  uint64_t spacing = 0;
  bool overlaps() const { return uniformsPerReplicate > spacing; }
};
ReplicateOverlap replicateOverlapOf(const SimulationDesign& design, const PowerOptions& options);

// Messages (the progress line, a warning when the replicates' streams must
// overlap) go to `messages`.
Result<PowerResult> runPowerAnalysis(const PowerOptions& options, std::ostream& messages);

}  // namespace cohortix::host
