#include "host/noise/cosine_basis.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace cohortix::host::noise {

int cosineOrders(int volumes, double repetitionTime, double cutoffSeconds) {
  if (volumes < 3 || !(cutoffSeconds > 0.0)) return 0;
  // The small allowance keeps an order whose period equals the cutoff.
  const double orders = std::floor(2.0 * volumes * repetitionTime / cutoffSeconds + 1e-9);
  return static_cast<int>(std::clamp(orders, 0.0, static_cast<double>(volumes - 2)));
}

std::vector<double> cosineBasis(int volumes, int orders) {
  std::vector<double> basis(static_cast<std::size_t>(orders) * volumes);
  for (int k = 1; k <= orders; ++k)
    for (int t = 0; t < volumes; ++t)
      basis[static_cast<std::size_t>(k - 1) * volumes + t] =
          std::sqrt(2.0) * std::cos(std::numbers::pi * k * (t + 0.5) / volumes);
  return basis;
}

}  // namespace cohortix::host::noise
