#pragma once
// A design as a user reads it at a glance: factors and cells with the condition
// names a run gives them, groups and subjects, the timeline of a run, the VTC's
// geometry, the regions and their effect tables, and the files a run writes.

#include <iosfwd>

#include "control/simulation_design.h"

namespace cohortix::app {

void printDesignSummary(std::ostream& out, const SimulationDesign& design);

}  // namespace cohortix::app
