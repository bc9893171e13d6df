#pragma once
// Which designs a run can simulate. The reader lets through designs without within
// factors; the run stops them at its first subject, and `cohortix check` refuses
// them by the same rule.

#include "control/simulation_design.h"

namespace cohortix {

// True when the design has 1, 2 or 3 within factors.
bool supportedDesign(const SimulationDesign& design);

}  // namespace cohortix
