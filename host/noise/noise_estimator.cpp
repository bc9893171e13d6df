#include "host/noise/noise_estimator.h"

#include <algorithm>
#include <cmath>

#include "host/noise/high_pass_design.h"
#include "host/noise/lattice_kernel.h"
#include "host/noise/pooled_periodogram.h"

namespace cohortix::host::noise {
namespace {

constexpr double kMaskFraction = 0.1;
constexpr double kMaskPercentile = 0.98;

struct Sums {
  int64_t voxels = 0;
  double residualSquares = 0.0;  // sum over voxels of sum_t r_t^2 (percent^2)
  double residualLagOne = 0.0;
  double driftPower = 0.0;       // sum over voxels of sum_k beta_k^2
  double meanSignal = 0.0;
  std::vector<float> tsnr;
  double differences[3] = {0.0, 0.0, 0.0};
  int64_t pairs[3] = {0, 0, 0};
  std::vector<double> globalCourse;
  int64_t backgroundVoxels = 0;
  double backgroundSquares = 0.0, backgroundSum = 0.0;
};

bool finiteSeries(const float* x, int n) {
  for (int t = 0; t < n; ++t)
    if (!std::isfinite(x[t])) return false;
  return true;
}

double meanOf(const float* x, int n) {
  double sum = 0.0;
  for (int t = 0; t < n; ++t) sum += x[t];
  return sum / n;
}

// Temporal means of every voxel; NaN for a series with a value that is not finite.
Result<std::vector<double>> temporalMeans(const TimeSeriesImage& image, std::vector<float>& slice) {
  const NoiseGeometry& g = image.geometry();
  const int64_t perSlice = int64_t{g.dimX} * g.dimY;
  std::vector<double> means(g.voxels());
  for (int z = 0; z < g.dimZ; ++z) {
    if (Status status = image.readSlice(z, slice.data()); !status) return status;
    for (int64_t s = 0; s < perSlice; ++s) {
      const float* x = &slice[s * g.volumes];
      means[z * perSlice + s] = finiteSeries(x, g.volumes) ? meanOf(x, g.volumes) : std::nan("");
    }
  }
  return means;
}

double maskThreshold(const std::vector<double>& means) {
  std::vector<double> finite;
  for (const double m : means)
    if (std::isfinite(m)) finite.push_back(m);
  if (finite.empty()) return 0.0;
  const std::size_t at = std::min(finite.size() - 1, static_cast<std::size_t>(kMaskPercentile * finite.size()));
  std::nth_element(finite.begin(), finite.begin() + at, finite.end());
  return std::max(0.0, kMaskFraction * finite[at]);
}

// Fits one series; leaves its residuals in percent of its mean in `residuals` and
// returns false for a series that cannot be used.
bool fitSeries(const float* x, const HighPassDesign& design, double mean, std::vector<float>& residuals,
               double& driftPower) {
  const int n = design.volumes();
  const std::vector<double>& basis = design.basis();
  std::vector<double> r(n);
  for (int t = 0; t < n; ++t) r[t] = x[t] - mean;
  driftPower = 0.0;
  for (int k = 0; k < design.orders(); ++k) {
    const double* phi = &basis[static_cast<std::size_t>(k) * n];
    double beta = 0.0;
    for (int t = 0; t < n; ++t) beta += x[t] * phi[t];
    beta /= n;
    for (int t = 0; t < n; ++t) r[t] -= beta * phi[t];
    driftPower += beta * beta;
  }
  const double percent = 100.0 / mean;
  driftPower *= percent * percent;
  double squares = 0.0;
  for (int t = 0; t < n; ++t) {
    residuals[t] = static_cast<float>(r[t] * percent);
    squares += static_cast<double>(residuals[t]) * residuals[t];
  }
  return squares > 0.0;
}

double sumOfSquaredDifferences(const float* a, const float* b, int n) {
  double sum = 0.0;
  for (int t = 0; t < n; ++t) {
    const double d = static_cast<double>(a[t]) - b[t];
    sum += d * d;
  }
  return sum;
}

// The mean residual course holds, beside any global signal, the voxels' own noise
// averaged: its variance over the residual variance is sum_pairs corr / V^2. With a
// Gaussian autocorrelation of neighbour correlation c_d along each axis of N_d
// voxels that is prod_d sum_{|j| < N_d} (1 - |j| / N_d) c_d^(j^2) / V, the
// correlations being those of the noise without the global signal, whose share g
// adds 1 to every pair: c = g + (1 - g) c_noise.
double globalShareBeyondAveraging(double measured, const Sums& sums, const NoiseGeometry& g, double dof) {
  double share = measured;
  for (int iteration = 0; iteration < 8; ++iteration) {
    double averaged = 1.0 - share;
    for (int axis = 0; axis < 3; ++axis) {
      const int length = g.dim(axis);
      if (sums.pairs[axis] == 0 || length < 2) continue;
      const double c = 1.0 - sums.differences[axis] / (2.0 * sums.pairs[axis] * dof);
      const double noise = std::clamp((c - share) / (1.0 - share), 0.0, 0.999);
      double sum = 1.0;
      for (int j = 1; j < length; ++j) {
        const double term = std::pow(noise, static_cast<double>(j) * j);
        if (term < 1e-12) break;
        sum += 2.0 * (1.0 - static_cast<double>(j) / length) * term;
      }
      averaged *= sum;
    }
    share = std::max(0.0, measured - averaged / static_cast<double>(sums.voxels));
  }
  return share;
}

NoiseStatistics summarise(const Sums& sums, const NoiseGeometry& g, const HighPassDesign& design,
                          const PooledSpectrum& spectrum) {
  NoiseStatistics statistics;
  statistics.voxels = sums.voxels;
  statistics.volumes = g.volumes;
  statistics.repetitionTime = g.repetitionTime;
  statistics.voxelMm = g.voxelMm;
  const double dof = design.degreesOfFreedom();
  const double variance = sums.residualSquares / (sums.voxels * dof);
  statistics.meanSignal = sums.meanSignal / sums.voxels;
  statistics.residualPercent = std::sqrt(variance);
  std::vector<float> tsnr = sums.tsnr;
  std::nth_element(tsnr.begin(), tsnr.begin() + tsnr.size() / 2, tsnr.end());
  statistics.tsnr = tsnr[tsnr.size() / 2];
  statistics.ar1 = design.ar1OfRatio(sums.residualLagOne / sums.residualSquares);

  double fwhmSum = 0.0;
  int measured = 0;
  for (int axis = 0; axis < 3; ++axis) {
    if (sums.pairs[axis] == 0) continue;
    const double correlation = 1.0 - sums.differences[axis] / (2.0 * sums.pairs[axis] * dof);
    statistics.fwhmMm[axis] = g.voxelMm[axis] * fwhmOfLagOneCorrelation(correlation);
    fwhmSum += statistics.fwhmMm[axis];
    ++measured;
  }
  if (measured > 0) statistics.fwhmMeanMm = fwhmSum / measured;

  std::vector<double> projections;
  const ResidualMoments unit = design.expectedMomentsOfAr1(statistics.ar1, &projections);
  double leak = 0.0;
  for (const double projection : projections) leak += projection * variance / unit.lag0;
  statistics.driftPercent = std::sqrt(std::max(0.0, sums.driftPower / sums.voxels - leak));
  statistics.driftShare = statistics.driftPercent * statistics.driftPercent / variance;

  const double lowestHz = design.orders() / (2.0 * g.volumes * g.repetitionTime);
  statistics.periodic = spectrum.peaks(g.repetitionTime, lowestHz, variance);

  double globalSquares = 0.0, globalLagOne = 0.0;
  const std::vector<double>& course = sums.globalCourse;
  for (std::size_t t = 0; t < course.size(); ++t) {
    const double m = course[t] / sums.voxels;
    globalSquares += m * m;
    if (t + 1 < course.size()) globalLagOne += m * course[t + 1] / sums.voxels;
  }
  statistics.globalShare = globalShareBeyondAveraging(globalSquares / dof / variance, sums, g, dof);
  statistics.globalAr1 = globalSquares > 0.0 ? design.ar1OfRatio(globalLagOne / globalSquares) : 0.0;

  statistics.backgroundVoxels = sums.backgroundVoxels;
  if (sums.backgroundVoxels > 0 && sums.backgroundSquares > 0.0) {
    const double values = static_cast<double>(sums.backgroundVoxels) * g.volumes;
    statistics.backgroundLevel = std::sqrt(sums.backgroundSquares / (2.0 * values));
    statistics.backgroundPercent = 100.0 * statistics.backgroundLevel / statistics.meanSignal;
    statistics.backgroundMeanRatio = sums.backgroundSum / values / statistics.backgroundLevel;
  }
  return statistics;
}

}  // namespace

Result<NoiseStatistics> estimateNoise(const TimeSeriesImage& image, const std::vector<uint8_t>* mask) {
  const NoiseGeometry& g = image.geometry();
  const HighPassDesign design(g.volumes, g.repetitionTime);
  if (design.degreesOfFreedom() < 3)
    return Status::error("expected at least " + std::to_string(design.orders() + 4) +
                         " volumes for the high-pass fit, found " + std::to_string(g.volumes));
  const int n = g.volumes;
  const int64_t perSlice = int64_t{g.dimX} * g.dimY;
  std::vector<float> slice(perSlice * n);
  Result<std::vector<double>> meansResult = temporalMeans(image, slice);
  if (!meansResult) return meansResult.status();
  const std::vector<double>& means = meansResult.value();
  const double threshold = maskThreshold(means);

  Sums sums;
  sums.globalCourse.assign(n, 0.0);
  PooledSpectrum spectrum(n);
  // Standardised residuals of this slice and the one before; `used` marks voxels in.
  std::vector<float> current(perSlice * n), previous(perSlice * n);
  std::vector<uint8_t> used(perSlice, 0), usedBefore(perSlice, 0);
  std::vector<float> residuals(n);
  for (int z = 0; z < g.dimZ; ++z) {
    if (Status status = image.readSlice(z, slice.data()); !status) return status;
    for (int64_t s = 0; s < perSlice; ++s) {
      const int64_t v = z * perSlice + s;
      const double mean = means[v];
      used[s] = 0;
      if (!std::isfinite(mean)) continue;
      const bool inside = mask ? (*mask)[v] != 0 && mean > 0.0 : mean > threshold && mean > 0.0;
      const float* x = &slice[s * n];
      if (!inside) {
        if (mean <= threshold) {
          ++sums.backgroundVoxels;
          for (int t = 0; t < n; ++t) {
            sums.backgroundSquares += static_cast<double>(x[t]) * x[t];
            sums.backgroundSum += x[t];
          }
        }
        continue;
      }
      double driftPower = 0.0;
      if (!fitSeries(x, design, mean, residuals, driftPower)) continue;
      double squares = 0.0, lagOne = 0.0;
      for (int t = 0; t < n; ++t) {
        squares += static_cast<double>(residuals[t]) * residuals[t];
        if (t + 1 < n) lagOne += static_cast<double>(residuals[t]) * residuals[t + 1];
        sums.globalCourse[t] += residuals[t];
      }
      ++sums.voxels;
      sums.residualSquares += squares;
      sums.residualLagOne += lagOne;
      sums.driftPower += driftPower;
      sums.meanSignal += mean;
      const double sd = std::sqrt(squares / design.degreesOfFreedom());
      sums.tsnr.push_back(static_cast<float>(100.0 / sd));
      spectrum.add(residuals.data());
      float* u = &current[s * n];
      for (int t = 0; t < n; ++t) u[t] = static_cast<float>(residuals[t] / sd);
      used[s] = 1;
    }
    for (int y = 0; y < g.dimY; ++y)
      for (int x = 0; x < g.dimX; ++x) {
        const int64_t s = int64_t{y} * g.dimX + x;
        if (!used[s]) continue;
        const float* u = &current[s * n];
        if (x + 1 < g.dimX && used[s + 1]) {
          sums.differences[0] += sumOfSquaredDifferences(u, &current[(s + 1) * n], n);
          ++sums.pairs[0];
        }
        if (y + 1 < g.dimY && used[s + g.dimX]) {
          sums.differences[1] += sumOfSquaredDifferences(u, &current[(s + g.dimX) * n], n);
          ++sums.pairs[1];
        }
        if (z > 0 && usedBefore[s]) {
          sums.differences[2] += sumOfSquaredDifferences(u, &previous[s * n], n);
          ++sums.pairs[2];
        }
      }
    std::swap(current, previous);
    std::swap(used, usedBefore);
  }
  if (sums.voxels == 0)
    return Status::error(mask ? "expected voxels in the mask with a positive, varying signal, found none"
                              : "expected voxels with a positive, varying signal, found none");
  return summarise(sums, g, design, spectrum);
}

}  // namespace cohortix::host::noise
