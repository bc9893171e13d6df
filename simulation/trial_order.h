#pragma once
// The order in which a subject meets the trials of a run.

#include <cstdint>
#include <vector>

#include "control/simulation_design.h"

namespace cohortix {

// NrOfTrials cell indices, each cell NrOfTrialsPerCondition times, in the order of
// a fresh random permutation (it draws NrOfTrials values of rand()).
std::vector<int32_t> drawTrialOrder(const SimulationDesign& design);

}  // namespace cohortix
