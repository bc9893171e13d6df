#include "host/power/replicate_scores.h"

#include <limits>

namespace cohortix::host {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr std::size_t kTestFields = 4;
constexpr std::size_t kRegionFields = 3;

double share(int64_t part, int64_t whole) { return static_cast<double>(part) / static_cast<double>(whole); }

}  // namespace

void TestTallies::add(const TestScore& score) {
  if (tested == 0) tested = score.tested;
  for (std::size_t r = 0; r < regions.size() && r < score.regions.size(); ++r) {
    const TestScore::Region& region = score.regions[r];
    regions[r].detection.add(region.found > 0);
    regions[r].sensitivity.add(region.voxels == 0 ? kNaN : share(region.found, region.voxels));
    regions[r].roi.add(region.roi);
  }
  if (score.nullTested > 0) {
    familyWise.add(score.falsePositives > 0);
    falsePositiveRate.add(share(score.falsePositives, score.nullTested));
  }
  const int64_t discoveries = score.falsePositives + score.trueDiscoveries;
  falseDiscovery.add(discoveries > 0 ? share(score.falsePositives, discoveries) : 0.0);
}

std::vector<RowEstimate> TestTallies::estimates() const {
  std::vector<RowEstimate> rows;
  for (const Region& region : regions) {
    const int64_t n = region.detection.trials();
    rows.push_back({region.detection.estimate(), n});
    rows.push_back({region.sensitivity.estimate(), n});
    rows.push_back({region.roi.estimate(), n});
  }
  const int64_t n = familyWise.trials();
  rows.push_back({familyWise.estimate(), n});
  rows.push_back({falsePositiveRate.estimate(), n});
  rows.push_back({falseDiscovery.estimate(), n});
  return rows;
}

std::vector<int64_t> flatScore(const TestScore& score) {
  std::vector<int64_t> flat = {score.tested, score.nullTested, score.falsePositives, score.trueDiscoveries};
  for (const TestScore::Region& region : score.regions) {
    flat.push_back(region.found);
    flat.push_back(region.voxels);
    flat.push_back(region.roi ? 1 : 0);
  }
  return flat;
}

bool scoreFromFlat(const std::vector<int64_t>& flat, TestScore& score) {
  if (flat.size() < kTestFields || (flat.size() - kTestFields) % kRegionFields != 0) return false;
  score = {};
  score.tested = flat[0];
  score.nullTested = flat[1];
  score.falsePositives = flat[2];
  score.trueDiscoveries = flat[3];
  for (std::size_t i = kTestFields; i < flat.size(); i += kRegionFields) {
    if (flat[i] < 0 || flat[i + 1] < flat[i] || (flat[i + 2] != 0 && flat[i + 2] != 1)) return false;
    score.regions.push_back({flat[i], flat[i + 1], flat[i + 2] == 1});
  }
  return score.tested >= 0 && score.nullTested >= 0 && score.falsePositives >= 0 &&
         score.falsePositives <= score.nullTested && score.trueDiscoveries >= 0;
}

}  // namespace cohortix::host
