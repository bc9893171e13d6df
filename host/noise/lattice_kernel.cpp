#include "host/noise/lattice_kernel.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>

namespace cohortix::host::noise {
namespace {

const double kTwoLn2 = 2.0 * std::log(2.0);

std::vector<double> sampledGaussian(double sigma, int radius) {
  std::vector<double> weights(2 * radius + 1);
  for (int j = -radius; j <= radius; ++j) weights[j + radius] = std::exp(-j * j / (2.0 * sigma * sigma));
  return weights;
}

double lagOne(const std::vector<double>& k) {
  double product = 0.0, square = 0.0;
  for (std::size_t j = 0; j < k.size(); ++j) {
    square += k[j] * k[j];
    if (j + 1 < k.size()) product += k[j] * k[j + 1];
  }
  return product / square;
}

}  // namespace

double lagOneCorrelationOfFwhm(double fwhmVoxels) {
  if (fwhmVoxels <= 0.0) return 0.0;
  return std::exp(-kTwoLn2 / (fwhmVoxels * fwhmVoxels));
}

double fwhmOfLagOneCorrelation(double correlation) {
  if (!(correlation > 0.0)) return 0.0;
  if (correlation >= 1.0) return std::numeric_limits<double>::infinity();
  return std::sqrt(-kTwoLn2 / std::log(correlation));
}

double lagOneCorrelationOf(const LatticeKernel& kernel) {
  return lagOne(std::vector<double>(kernel.weights.begin(), kernel.weights.end()));
}

LatticeKernel calibratedKernel(double fwhmVoxels) {
  assert(fwhmVoxels >= 0.0 && fwhmVoxels <= kMaxFwhmVoxels);
  if (fwhmVoxels <= 0.0) return {};
  const double target = lagOneCorrelationOfFwhm(fwhmVoxels);
  // The continuous sigma sets the support; within it the lag-one correlation grows
  // with sigma up to well beyond the continuous value, so bisection finds it.
  const double continuous = fwhmVoxels / std::sqrt(4.0 * kTwoLn2);
  const int radius = std::max(1, static_cast<int>(std::ceil(3.0 * continuous)));
  double low = 1e-3, high = 1.5 * continuous + 0.5;
  for (int i = 0; i < 200 && high - low > 1e-13; ++i) {
    const double middle = 0.5 * (low + high);
    (lagOne(sampledGaussian(middle, radius)) < target ? low : high) = middle;
  }
  const std::vector<double> weights = sampledGaussian(0.5 * (low + high), radius);
  double square = 0.0;
  for (const double w : weights) square += w * w;
  LatticeKernel kernel;
  kernel.radius = radius;
  kernel.weights.clear();
  for (const double w : weights) kernel.weights.push_back(static_cast<float>(w / std::sqrt(square)));
  return kernel;
}

}  // namespace cohortix::host::noise
