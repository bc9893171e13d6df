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
  // Where the centre lies in the run's anatomy ("AAL Fusiform_R, BA 37, ...;
  // grey matter"); empty for a run without one.
  std::string atlas;
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

// One group map of a study's analysis, as its table (maps.tsv) lists it: the
// figures shown as written, the ones the report works with read.
struct GroupMapEntry {
  std::string map;       // the stem of its files: "all_cell1-Faces"
  std::string test;      // "one-sample t", "two-sample t (Welch)"
  std::string groups;    // "all", "G1", "G1 - G2"
  std::string effect;    // a cell or a contrast
  std::string subjects, df, tail, correction, alpha, pThreshold, tThreshold, maxAbsT;
  int64_t testedVoxels = 0;
  int64_t significantVoxels = 0;
};

// A cluster of a cluster-level map, as its table (<map>_clusters.tsv) lists it.
struct ClusterEntry {
  std::string side, voxels, pFamilyWise, significant, peakT, peakX, peakY, peakZ;
};

// A group map's voxels on the study's grid, in the data's voxel order.
struct GroupMapImages {
  std::vector<float> t;            // unthresholded
  std::vector<float> thresholded;  // t where significant, 0 elsewhere
  std::vector<ClusterEntry> clusters;  // a cluster-level map's, largest first
};

// One row of a power table (power.tsv); NaN where it reads NA.
struct PowerEntry {
  int32_t subjects = 0;  // per group
  std::string scope, effect, region, measure;
  double trueEffect = 0, estimate = 0, low = 0, high = 0, analytic = 0;
  int64_t replicates = 0;
};

class ResultsInput {
 public:
  virtual ~ResultsInput() = default;
  // The analysis's table of group maps; nothing when there is no analysis.
  virtual Result<std::optional<std::vector<GroupMapEntry>>> groupMaps() = 0;
  // A listed map's images, checked to hold `voxels` voxels.
  virtual Result<GroupMapImages> groupMapImages(const GroupMapEntry& map, int64_t voxels) = 0;
  // The power table's rows; nothing when there is no power table.
  virtual Result<std::optional<std::vector<PowerEntry>>> powerTable() = 0;
  // Where the results were found, for the page to say.
  virtual std::string analysisSource() const = 0;
  virtual std::string powerSource() const = 0;
};

}  // namespace cohortix::host
