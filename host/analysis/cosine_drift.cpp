#include "host/analysis/cosine_drift.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace cohortix::host {

int32_t cosineDriftCount(int32_t volumes, double repetitionTime, double cutoffSeconds) {
  if (volumes < 2 || !(cutoffSeconds > 0.0) || !(repetitionTime > 0.0)) return 0;
  const double count = std::floor(2.0 * volumes * repetitionTime / cutoffSeconds);
  return static_cast<int32_t>(std::min<double>(count, volumes - 1));
}

Eigen::MatrixXd cosineDriftBasis(int32_t volumes, double repetitionTime, double cutoffSeconds) {
  const int32_t count = cosineDriftCount(volumes, repetitionTime, cutoffSeconds);
  Eigen::MatrixXd basis(volumes, count);
  const double scale = std::sqrt(2.0 / volumes);
  for (int32_t k = 1; k <= count; ++k)
    for (int32_t t = 0; t < volumes; ++t)
      basis(t, k - 1) = scale * std::cos(std::numbers::pi * k * (t + 0.5) / volumes);
  return basis;
}

}  // namespace cohortix::host
