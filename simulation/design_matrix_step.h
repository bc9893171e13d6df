#pragma once
// A subject's design matrix: one two-gamma-convolved predictor per trial condition
// of the protocol as loaded back from the subject's file.

#include <cstdint>
#include <string>

#include "control/simulation_design.h"

namespace cohortix {

// Builds and saves the design matrix; returns NrOfPredictors (predictor p carries
// the response of cell p).
int32_t buildSubjectDesignMatrix(const SimulationDesign& design, const std::string& fileName);

}  // namespace cohortix
