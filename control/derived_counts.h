#pragma once
// The counts a design derives from what the control file gives: within cells,
// groups, subjects, trials and volumes of one run, and rows of the effect table.

#include <cstdint>

#include "control/simulation_design.h"

namespace cohortix {

// The derived counts computed wide, so a reader can see whether a design's counts
// fit the 32-bit counts the run works with before anything uses them.
struct WideCounts {
  int64_t NrOfWithinCells = 0;
  int64_t NrOfGroups = 0;
  int64_t NrOfSubjects = 0;
  int64_t NrOfTrials = 0;
  int64_t NrOfVolumes = 0;
  int64_t NrOfEffectRows = 0;
};

WideCounts wideDerivedCounts(const SimulationDesign& design);

// Product of the level counts of the first NrOfWithinFactors within factors (1 with
// none); the same for the between factors gives the groups.
int64_t withinCellCount(const SimulationDesign& design);
int64_t groupCount(const SimulationDesign& design);

// Sets NrOfWithinCells, NrOfGroups, NrOfSubjects, NrOfTrials, NrOfVolumes and
// NrOfEffectRows. A design the reader accepted has every count in 32-bit range.
void computeDerivedCounts(SimulationDesign& design);

}  // namespace cohortix
