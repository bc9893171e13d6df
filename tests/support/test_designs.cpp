#include "tests/support/test_designs.h"

#include <cstring>

#include "control/derived_counts.h"

namespace cohortix::testing {

std::unique_ptr<SimulationDesign> emptyDesign(const std::string& experimentName) {
  auto design = std::make_unique<SimulationDesign>();
  design->FileVersion = 1;
  design->BalancedDesign = true;
  std::strncpy(design->ExperimentName, experimentName.c_str(), kMaxExperimentNameLength);
  design->NrOfSubjectsPerGroup = 1;
  design->TrialDuration = 1;
  design->NrOfTrialsPerCondition = 1;
  design->Resolution = 1;
  design->MeanBaseline = 1000;
  return design;
}

void addWithinFactor(SimulationDesign& design, const std::vector<TestLevel>& levels) {
  DesignFactor& factor = design.WithinFactors[design.NrOfWithinFactors++];
  factor.NrOfLevels = static_cast<int32_t>(levels.size());
  for (std::size_t l = 0; l < levels.size(); ++l) {
    DesignLevel& level = factor.Levels[l];
    std::strncpy(level.LevelName, levels[l].Name.c_str(), kMaxLevelNameLength);
    level.ColorR = levels[l].Red;
    level.ColorG = levels[l].Green;
    level.ColorB = levels[l].Blue;
  }
}

SimulationDesign& complete(SimulationDesign& design) {
  computeDerivedCounts(design);
  return design;
}

}  // namespace cohortix::testing
