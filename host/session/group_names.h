#pragma once
// The names of a study's groups: the levels of its between-subject factor, as
// the control file names them ("Controls", "Patients"), or "all" for a study
// without one. Every output that names a group (participants.tsv, the analysis
// maps, power's table) takes them from here.

#include <string>
#include <vector>

#include "control/simulation_design.h"

namespace cohortix::host {

std::vector<std::string> groupNamesOf(const SimulationDesign& design);

}  // namespace cohortix::host
