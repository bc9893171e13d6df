#include "host/analysis/received_regions.h"

#include <numeric>
#include <string>

namespace cohortix::host {

ReceivedRegions::ReceivedRegions(int32_t groups, RegionLabels asked)
    : asked_(std::move(asked)),
      subjects_(static_cast<std::size_t>(groups), 0),
      counts_(static_cast<std::size_t>(groups)) {}

Status ReceivedRegions::add(int32_t group, const RegionLabels& labels) {
  if (labels.size() != asked_.size())
    return Status::error("its regions have " + std::to_string(labels.size()) + " voxels, the maps " +
                         std::to_string(asked_.size()));
  auto& counts = counts_.at(static_cast<std::size_t>(group));
  for (std::size_t v = 0; v < labels.size(); ++v)
    if (labels[v] != 0) ++counts[uint64_t{v} * 256 + labels[v]];
  differs_ = differs_ || labels != asked_;
  ++subjects_.at(static_cast<std::size_t>(group));
  return Status::ok();
}

void ReceivedRegions::addGroupMean(const ActiveVoxels& truth, const Effect& effect, int32_t g,
                                   double share, std::vector<float>& map) const {
  const int32_t subjects = subjects_.at(static_cast<std::size_t>(g));
  if (subjects == 0) return;
  for (const auto& [key, count] : counts_[static_cast<std::size_t>(g)]) {
    const auto region = static_cast<int32_t>(key % 256) - 1;
    if (region >= truth.regions()) continue;
    map[key / 256] += static_cast<float>(share * truth.trueEffect(region, effect, g) * count / subjects);
  }
}

std::vector<float> ReceivedRegions::trueEffectMap(const ActiveVoxels& truth, const Effect& effect,
                                                  const GroupTest& test) const {
  std::vector<float> map(asked_.size(), 0.0f);
  if (test.group >= 0) {
    addGroupMean(truth, effect, test.group, 1.0, map);
    if (test.twoSample) addGroupMean(truth, effect, test.otherGroup, -1.0, map);
    return map;
  }
  // All subjects: each group's mean weighted by its share of them.
  const int32_t all = std::accumulate(subjects_.begin(), subjects_.end(), 0);
  for (std::size_t g = 0; g < subjects_.size() && all > 0; ++g)
    addGroupMean(truth, effect, static_cast<int32_t>(g), static_cast<double>(subjects_[g]) / all, map);
  return map;
}

}  // namespace cohortix::host
