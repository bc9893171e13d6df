#pragma once
// The README of an exported dataset: what was simulated and how, summarised from
// the control file's design.

#include <string>

#include "control/simulation_design.h"

namespace cohortix::host {

// The design must have its derived counts.
std::string studyReadme(const SimulationDesign& design, const std::string& controlFileName,
                        double repetitionTime);

}  // namespace cohortix::host
