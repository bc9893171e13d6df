#include "control/supported_design.h"

namespace cohortix {

bool supportedDesign(const SimulationDesign& design) {
  return design.NrOfWithinFactors >= 1 && design.NrOfWithinFactors <= kMaxWithinFactors;
}

}  // namespace cohortix
