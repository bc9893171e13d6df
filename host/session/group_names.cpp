#include "host/session/group_names.h"

namespace cohortix::host {
namespace {

// The participants' group when the study has no between factor.
constexpr char kOnlyGroup[] = "all";

}  // namespace

std::vector<std::string> groupNamesOf(const SimulationDesign& design) {
  if (design.NrOfBetweenFactors < 1) return {kOnlyGroup};
  const DesignFactor& factor = design.BetweenFactors[0];
  std::vector<std::string> names;
  for (int32_t level = 0; level < factor.NrOfLevels && level < kMaxLevels; ++level)
    names.emplace_back(factor.Levels[level].LevelName);
  return names;
}

}  // namespace cohortix::host
