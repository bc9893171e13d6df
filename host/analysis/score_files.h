#pragma once
// Scoring a map file against a truth file, and the score as a table or as JSON.
// Both are NIfTI images on one grid. A 4-D image is one volume per cell (or per
// contrast): --cell N takes volume N (1-based) of every 4-D image of the two;
// --contrast NAME takes the volume of a 4-D truth that its sidecar (the same name
// ending in .json) lists under "Volumes" as NAME.
//
// How a voxel is called detected: at the threshold given (T > 0: |value| >= T, or
// value >= T for the upper tail); else, for a map whose sidecar says it is
// thresholded ("Thresholded": true), where its value is not 0; else at the T its
// sidecar's "Threshold" gives (but for a cluster-level correction, whose T only
// forms clusters), in its "Tail" unless one is given; else not at all:
// a map without a threshold is scored by the ROC curve and its area only, and
// every count and rate reads n/a.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "host/analysis/map_score.h"
#include "host/io/status.h"

namespace cohortix::host {

class DiskInterface;

struct ScoreRequest {
  std::filesystem::path map;
  std::filesystem::path truth;         // empty: the one the map's sidecar names ("Truth")
  std::optional<int32_t> cell;         // 1-based
  std::optional<std::string> contrast;
  std::optional<double> threshold;     // refused unless above 0
  std::optional<Tail> tail;            // default: the sidecar's, else two
};

// How the map was scored.
enum class DetectionRule { Threshold, NonZero, None };

struct FileScore {
  MapScore score;
  ScoreOptions options;  // as applied
  DetectionRule rule = DetectionRule::Threshold;
  std::string thresholdFrom;  // "--threshold", or the sidecar the rule came from
  std::filesystem::path truth;  // the truth scored against
  bool counted() const { return rule != DetectionRule::None; }
};

Result<FileScore> scoreFiles(const ScoreRequest& request, DiskInterface& disk);

// The line a score without a threshold is given ("" when it has one).
std::string uncountedNote(const ScoreRequest& request, const FileScore& score);

// "measure<TAB>value" rows: the counts, the rates, the area under the ROC curve and,
// for a label map, each region's voxels, detected voxels and whether it was found;
// regions are numbered from 1, as their labels. Counts read n/a when not counted.
std::string scoreTable(const FileScore& score);
std::string scoreJson(const FileScore& score);
// threshold, false_positive_rate, true_positive_rate: the ROC curve's points.
std::string rocTable(const MapScore& score);

}  // namespace cohortix::host
