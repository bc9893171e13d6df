#pragma once
// What a study report is made from: the run's output folder (native files or a
// BIDS dataset), the control file when the folder does not hold it, what the
// caller knows of the run that the files do not say, and the optional inputs
// that other parts of the host leave beside a run.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "host/report/optional_inputs.h"

namespace cohortix::host {

struct ReportInputs {
  std::filesystem::path runFolder;
  std::filesystem::path controlFile;  // empty: the BIDS dataset's code/ (or one beside the files)
  // A subject whose files the report cannot read is left out, and the page says
  // so, rather than the report refused.
  bool skipDamaged = false;
  // A run with head motion: volumes whose framewise displacement exceeds this
  // (mm) are marked.
  double fdThresholdMm = 0.5;
  // Why the run had not finished, when the report was asked of it all the same.
  std::string unfinished;

  // Known to the run that made the files, not kept in them.
  std::string commandLine;
  std::optional<std::string> noiseProfile;
  std::optional<int64_t> seed;
  std::optional<int32_t> replicate;
  // From the run's record (host/report/recorded_inputs.h): whether there was one
  // (then a value it leaves out is one the run did not use), the builds that made
  // the run, when it ran, and the control file as the run named it.
  bool recorded = false;
  std::string madeBy;
  std::string ranAt;
  std::string controlShown;

  // Null: not available; the sections then show what the control file tells.
  TruthInput* truth = nullptr;
  NoiseStatsInput* noiseStats = nullptr;
  ResultsInput* results = nullptr;
};

}  // namespace cohortix::host
