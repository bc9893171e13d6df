#pragma once
// One line of the power table: what the sinks make, the tables write and a block's
// part of the table carries.

#include <cstdint>
#include <string>

#include "host/power/power_tally.h"

namespace cohortix::host {

// One line of the power table.
struct PowerRow {
  int32_t subjects = 0;
  std::string scope;    // "all", "G1", "G1vsG2"
  std::string effect;   // a cell or a contrast
  std::string region;   // "Region1", ...; "outside" for the voxels no region reaches
  std::string measure;  // detection, sensitivity, roi_power, family_wise, false_positive_rate, false_discovery
  double trueEffect = 0.0;  // percent; NaN for the outside rows
  Estimate estimate;
  double analytic = 0.0;    // NaN where the analytic model does not apply
  int64_t replicates = 0;
};

}  // namespace cohortix::host
