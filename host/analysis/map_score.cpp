#include "host/analysis/map_score.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

namespace cohortix::host {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// Consecutive ROC points kept at least this far apart in either rate.
constexpr double kRocSpacing = 0.005;

double share(int64_t part, int64_t whole) {
  return whole > 0 ? static_cast<double>(part) / static_cast<double>(whole) : kNaN;
}

double scoreOf(float value, Tail tail) {
  if (std::isnan(value)) return -std::numeric_limits<double>::infinity();
  return tail == Tail::Two ? std::fabs(value) : value;
}

bool detectedAt(float value, const ScoreOptions& options) {
  if (std::isnan(value)) return false;
  if (options.threshold) return scoreOf(value, options.tail) >= *options.threshold;
  return options.tail == Tail::Two ? value != 0.0f : value > 0.0f;
}

bool hasEffect(float truth) { return truth != 0.0f && !std::isnan(truth); }

bool isLabelMap(std::span<const float> truth) {
  return std::all_of(truth.begin(), truth.end(), [](float value) {
    return value == 0.0f || (value > 0.0f && value == std::floor(value));
  });
}

// Walks the voxels from the highest score down; a point after each run of ties.
// The area is the trapezoid sum, which counts ties as half (the Mann-Whitney U).
void rocOf(std::span<const float> map, std::span<const float> truth, Tail tail, MapScore& score) {
  std::vector<std::pair<double, bool>> ranked;
  ranked.reserve(map.size());
  for (std::size_t v = 0; v < map.size(); ++v) ranked.emplace_back(scoreOf(map[v], tail), hasEffect(truth[v]));
  std::sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
  const int64_t positives = score.truePositives + score.falseNegatives;
  const int64_t negatives = score.falsePositives + score.trueNegatives;
  score.roc.push_back({std::numeric_limits<double>::infinity(), 0.0, 0.0});
  if (positives == 0 || negatives == 0) {
    score.areaUnderCurve = kNaN;
    score.roc.push_back({-std::numeric_limits<double>::infinity(), 1.0, 1.0});
    return;
  }
  int64_t truePositives = 0, falsePositives = 0;
  double area = 0.0;
  RocPoint last = score.roc.back();
  RocPoint kept = last;
  for (std::size_t i = 0; i < ranked.size();) {
    const double value = ranked[i].first;
    for (; i < ranked.size() && ranked[i].first == value; ++i)
      (ranked[i].second ? truePositives : falsePositives) += 1;
    const RocPoint point{value, share(falsePositives, negatives), share(truePositives, positives)};
    area += (point.falsePositiveRate - last.falsePositiveRate) *
            (point.truePositiveRate + last.truePositiveRate) / 2.0;
    last = point;
    const bool end = i == ranked.size();
    if (end || point.falsePositiveRate - kept.falsePositiveRate >= kRocSpacing ||
        point.truePositiveRate - kept.truePositiveRate >= kRocSpacing) {
      score.roc.push_back(point);
      kept = point;
    }
  }
  score.areaUnderCurve = area;
}

}  // namespace

Result<MapScore> scoreMap(std::span<const float> map, std::span<const float> truth,
                          const ScoreOptions& options) {
  if (map.size() != truth.size())
    return Status::error("the map has " + std::to_string(map.size()) + " voxels, the truth " +
                         std::to_string(truth.size()));
  if (map.empty()) return Status::error("the map holds no voxels");
  MapScore score;
  score.voxels = static_cast<int64_t>(map.size());
  score.labelled = isLabelMap(truth);
  std::map<int64_t, RegionDetection> regions;
  for (std::size_t v = 0; v < map.size(); ++v) {
    const bool effect = hasEffect(truth[v]);
    const bool detected = detectedAt(map[v], options);
    if (effect) (detected ? score.truePositives : score.falseNegatives) += 1;
    else (detected ? score.falsePositives : score.trueNegatives) += 1;
    if (score.labelled && effect) {
      RegionDetection& region = regions[static_cast<int64_t>(truth[v])];
      region.label = static_cast<int64_t>(truth[v]);
      ++region.voxels;
      if (detected) ++region.detectedVoxels;
    }
  }
  for (const auto& [label, region] : regions) score.regions.push_back(region);
  const int64_t discoveries = score.truePositives + score.falsePositives;
  score.sensitivity = share(score.truePositives, score.truePositives + score.falseNegatives);
  score.specificity = share(score.trueNegatives, score.trueNegatives + score.falsePositives);
  score.falseDiscoveryProportion = discoveries > 0 ? share(score.falsePositives, discoveries) : 0.0;
  score.dice = share(2 * score.truePositives,
                     2 * score.truePositives + score.falsePositives + score.falseNegatives);
  rocOf(map, truth, options.tail, score);
  return score;
}

}  // namespace cohortix::host
