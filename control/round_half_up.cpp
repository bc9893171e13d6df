#include "control/round_half_up.h"

#include <climits>
#include <cmath>

namespace cohortix {

// Below zero the integer part is taken one lower first, so that truncation of the
// remaining non-negative part rounds halves upwards there too.
int32_t roundHalfUp(double x) {
  if (std::isnan(x)) return 0;
  if (x >= 2147483647.0) return INT32_MAX;
  if (x < -2147483648.5) return INT32_MIN;
  if (x >= 0.0) return static_cast<int32_t>(x + 0.5);
  const double below = std::trunc(x) - 1.0;
  return static_cast<int32_t>(below + std::trunc((x - below) + 0.5));
}

}  // namespace cohortix
