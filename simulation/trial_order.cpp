#include "simulation/trial_order.h"

#include "simulation/random/random_sources.h"

namespace cohortix {

std::vector<int32_t> drawTrialOrder(const SimulationDesign& design) {
  const int32_t trials = design.NrOfTrials > 0 ? design.NrOfTrials : 0;
  // The permutation of 0 .. trials - 1 becomes the order in place: trial k of the
  // permutation belongs to cell k / NrOfTrialsPerCondition.
  std::vector<int32_t> order(static_cast<std::size_t>(trials));
  randomPermutation(trials, order.data());
  for (int32_t& entry : order) entry /= design.NrOfTrialsPerCondition;
  return order;
}

}  // namespace cohortix
