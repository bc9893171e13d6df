#pragma once
// A subject's stimulation protocol, built in the host's current protocol, saved
// under the subject's name and loaded back for the design matrix.

#include <string>

#include "control/simulation_design.h"

namespace cohortix {

// False when the design has no 1, 2 or 3 within factors; the busy cursor is then
// off and the user told.
bool buildSubjectProtocol(const SimulationDesign& design, const std::string& fileName);

}  // namespace cohortix
