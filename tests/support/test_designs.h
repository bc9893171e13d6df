#pragma once
// Designs built in code for tests of the run's steps, with their derived counts.

#include <memory>
#include <string>
#include <vector>

#include "control/simulation_design.h"

namespace cohortix::testing {

struct TestLevel {
  std::string Name;
  int32_t Red = 0, Green = 0, Blue = 0;
};

// A design of one group of one subject, no factors, no regions, the given timing;
// add factors with addWithinFactor, then call complete().
std::unique_ptr<SimulationDesign> emptyDesign(const std::string& experimentName = "Study");

void addWithinFactor(SimulationDesign& design, const std::vector<TestLevel>& levels);

// Sets the derived counts, as the run does after reading a control file.
SimulationDesign& complete(SimulationDesign& design);

}  // namespace cohortix::testing
