#pragma once
// What other parts of the host may leave beside a run, which the report shows when
// it is there: each subject's ground truth (its jittered region centres, its
// effects, its baseline, its region label map), statistics of its noise, and the
// results of analysing the study or estimating its power. Each is a small reader
// interface; a report made without one shows what the control file alone tells.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "control/vtc_geometry.h"
#include "host/io/status.h"
#include "host/report/label_map.h"
#include "host/report/study_run.h"

namespace cohortix::host {

struct RegionTruth {
  VoxelIndex centre;          // the subject's jittered centre voxel
  std::vector<float> effects; // percent of the baseline, by cell
};

struct SubjectTruth {
  float baseline = 0;               // the subject's mean signal level
  std::vector<RegionTruth> regions; // by region
};

class TruthInput {
 public:
  virtual ~TruthInput() = default;
  // Nothing when no truth was kept for this subject.
  virtual Result<std::optional<SubjectTruth>> subjectTruth(const SubjectFiles& subject) = 0;
  // The regions as written into this subject's data, when kept.
  virtual Result<std::optional<LabelMap>> subjectLabelMap(const SubjectFiles& subject) = 0;
};

// A table of figures with their names, as the noise model or an analysis reports
// them; shown as it comes.
struct FigureTable {
  std::string title;
  std::string explanation;              // one line: what to look for
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> rows;
};

class NoiseStatsInput {
 public:
  virtual ~NoiseStatsInput() = default;
  virtual Result<std::optional<FigureTable>> subjectNoise(const SubjectFiles& subject) = 0;
};

class ResultsInput {
 public:
  virtual ~ResultsInput() = default;
  // Every table of the study's analysis and power results; empty when none.
  virtual Result<std::vector<FigureTable>> results() = 0;
};

}  // namespace cohortix::host
