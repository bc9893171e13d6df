#pragma once
// Scoring a map file against a truth file, and the score as a table or as JSON.
// Both are NIfTI images on one grid. A 4-D image is one volume per cell (or per
// contrast): --cell N takes volume N (1-based) of every 4-D image of the two;
// --contrast NAME takes the volume of a 4-D truth that its sidecar (the same name
// ending in .json) lists under "Volumes" as NAME.

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
  std::filesystem::path truth;
  std::optional<int32_t> cell;         // 1-based
  std::optional<std::string> contrast;
  ScoreOptions options;
};

Result<MapScore> scoreFiles(const ScoreRequest& request, DiskInterface& disk);

// "measure<TAB>value" rows: the counts, the rates, the area under the ROC curve and,
// for a label map, each region's voxels, detected voxels and whether it was found.
std::string scoreTable(const MapScore& score, const ScoreOptions& options);
std::string scoreJson(const MapScore& score, const ScoreOptions& options);
// threshold, false_positive_rate, true_positive_rate: the ROC curve's points.
std::string rocTable(const MapScore& score);

}  // namespace cohortix::host
