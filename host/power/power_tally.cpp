#include "host/power/power_tally.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace cohortix::host {
namespace {

constexpr double kZ95 = 1.959963984540054;

}  // namespace

Estimate wilsonInterval(int64_t successes, int64_t trials) {
  if (trials <= 0) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    return {nan, nan, nan};
  }
  const double n = static_cast<double>(trials);
  const double p = static_cast<double>(successes) / n;
  const double z2 = kZ95 * kZ95;
  const double centre = (p + z2 / (2 * n)) / (1 + z2 / n);
  const double half = kZ95 / (1 + z2 / n) * std::sqrt(p * (1 - p) / n + z2 / (4 * n * n));
  return {p, std::max(0.0, centre - half), std::min(1.0, centre + half)};
}

void MeanTally::add(double value) {
  if (std::isnan(value)) return;
  count_ += 1;
  const double delta = value - mean_;
  mean_ += delta / static_cast<double>(count_);
  squaredDeviations_ += delta * (value - mean_);
}

Estimate MeanTally::estimate() const {
  if (count_ == 0) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    return {nan, nan, nan};
  }
  if (count_ == 1) return {mean_, mean_, mean_};
  const double n = static_cast<double>(count_);
  const double half = kZ95 * std::sqrt(squaredDeviations_ / (n - 1) / n);
  return {mean_, std::max(0.0, mean_ - half), std::min(1.0, mean_ + half)};
}

}  // namespace cohortix::host
