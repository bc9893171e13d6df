#pragma once
// A power analysis by simulation: for every sample size, one run of the plug-in
// makes the replicates (the expanded control file lives in a private temporary
// folder, removed afterwards), and the power sink analyses and scores them in
// memory. Nothing of a subject is written.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "host/analysis/study_analysis.h"
#include "host/io/status.h"
#include "host/power/power_sink.h"

namespace cohortix::host {

struct PowerOptions {
  std::filesystem::path controlFile;
  std::vector<int32_t> sampleSizes;  // subjects per group
  int32_t replicates = 100;
  AnalysisOptions analysis;
  std::filesystem::path plugin;
  double repetitionTime = 2.0;
  bool showProgress = false;  // the run's progress line, per sample size
};

struct PowerResult {
  std::vector<PowerRow> rows;
  int64_t subjectsAnalysed = 0;
};

// Messages of the plug-in and the progress line go to `messages`; the plug-in's
// log lines are dropped.
Result<PowerResult> runPowerAnalysis(const PowerOptions& options, std::ostream& messages);

}  // namespace cohortix::host
