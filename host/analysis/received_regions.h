#pragma once
// The regions as each subject received them (the plug-in jitters every region's
// centre per subject), counted per group over the subjects an analysis fits. Where
// they differ from the spheres the design asks for, a group map's true effect is
// not the asked sphere's: in each voxel it is the mean, over the map's subjects, of
// the effect each subject received there.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <unordered_map>
#include <vector>

#include "host/analysis/asked_regions.h"
#include "host/analysis/study_analysis.h"
#include "host/io/status.h"

namespace cohortix::host {

// Region r's voxels labelled r + 1, 0 elsewhere, in the maps' voxel order.
using RegionLabels = std::vector<uint8_t>;
// A subject's received regions; none when the run wrote no truth for it.
using ReceivedRegionsReader = std::function<Result<std::optional<RegionLabels>>(const SubjectEntry&)>;

class ReceivedRegions {
 public:
  ReceivedRegions(int32_t groups, RegionLabels asked);

  // Counts one fitted subject's regions; refused when they are not on the grid.
  Status add(int32_t group, const RegionLabels& labels);
  // Some subject received a region elsewhere than the design asks.
  bool differsFromAsked() const { return differs_; }
  // The map's true effect in percent in every voxel some subject's region reached.
  std::vector<float> trueEffectMap(const ActiveVoxels& truth, const Effect& effect,
                                   const GroupTest& test) const;

 private:
  // Mean over group g's subjects of the effect they received in each voxel, times
  // `share`, added to `map`.
  void addGroupMean(const ActiveVoxels& truth, const Effect& effect, int32_t g, double share,
                    std::vector<float>& map) const;

  RegionLabels asked_;
  std::vector<int32_t> subjects_;  // per group
  // Per group: voxel * 256 + label -> subjects whose region `label` holds the voxel.
  std::vector<std::unordered_map<uint64_t, int32_t>> counts_;
  bool differs_ = false;
};

}  // namespace cohortix::host
