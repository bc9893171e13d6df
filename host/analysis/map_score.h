#pragma once
// How well a statistic map finds the truth: the voxels it detects against those
// where an effect was put. The truth is a mask or a label map on the same grid: 0
// where there is no effect, anything else where there is one; a label map of
// positive whole numbers names region r by the value r + 1, and every region is
// scored on its own as well.
//
// A voxel is detected when its value passes the threshold: |value| >= T (two
// tails) or value >= T (upper tail); without T, when its value is not 0 (above 0
// for the upper tail), which reads a thresholded map as it stands. NaN is never
// detected. The ROC curve ranks the voxels by |value| (value for the upper tail).

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "host/analysis/t_distribution.h"
#include "host/io/status.h"

namespace cohortix::host {

struct ScoreOptions {
  std::optional<double> threshold;
  Tail tail = Tail::Two;
};

struct RegionDetection {
  int64_t label = 0;        // region r has label r + 1
  int64_t voxels = 0;
  int64_t detectedVoxels = 0;
  bool detected() const { return detectedVoxels > 0; }
};

struct RocPoint {
  double threshold = 0.0;   // voxels scoring at least this are called positive
  double falsePositiveRate = 0.0;
  double truePositiveRate = 0.0;
};

struct MapScore {
  int64_t voxels = 0;
  int64_t truePositives = 0, falsePositives = 0, trueNegatives = 0, falseNegatives = 0;
  // NaN where the denominator is 0; the false discovery proportion is 0 without
  // discoveries.
  double sensitivity = 0.0, specificity = 0.0, falseDiscoveryProportion = 0.0, dice = 0.0;
  bool labelled = false;                 // the truth is a label map
  std::vector<RegionDetection> regions;  // labels ascending; empty unless labelled
  double areaUnderCurve = 0.0;           // NaN without positives or negatives
  std::vector<RocPoint> roc;             // from (0, 0) to (1, 1), thinned to at most ~400 points
};

Result<MapScore> scoreMap(std::span<const float> map, std::span<const float> truth,
                          const ScoreOptions& options);

}  // namespace cohortix::host
