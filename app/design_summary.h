#pragma once
// A design as a user reads it at a glance: factors and cells with the condition
// names a run gives them, groups and subjects, the timeline of a run, the VTC's
// geometry, the regions and their effect tables, and the files a run writes.

#include <iosfwd>
#include <string>
#include <vector>

#include "control/simulation_design.h"

namespace cohortix::app {

// With inMillimetres (check) also the box's Talairach extent and each region's radius
// in mm; without, the text a dataset's README has always carried.
void printDesignSummary(std::ostream& out, const SimulationDesign& design,
                        bool inMillimetres = false);

// The same summary as one JSON object for scripts, with the warnings ("file:line:
// ...") that `check` prints beside it.
void printDesignJson(std::ostream& out, const SimulationDesign& design,
                     const std::vector<std::string>& warnings);

}  // namespace cohortix::app
