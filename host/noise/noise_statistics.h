#pragma once
// What the estimators read from a 4-D image (docs/noise.md gives every formula).
// The forecast of what a noise model will show is expressed in the same terms.

#include <array>
#include <cstdint>
#include <limits>
#include <vector>

namespace cohortix::host::noise {

inline constexpr double kNotMeasured = std::numeric_limits<double>::quiet_NaN();

struct PeriodicComponent {
  double frequencyHz = 0.0;       // as sampled, i.e. aliased into [0, 1 / (2 TR)]
  double amplitudePercent = 0.0;  // peak amplitude, RMS over voxels
  double share = 0.0;             // its variance A^2 / 2 over the residual variance
};

struct NoiseStatistics {
  int64_t voxels = 0;  // in the mask
  int32_t volumes = 0;
  double repetitionTime = 0.0;
  std::array<double, 3> voxelMm{};
  double meanSignal = 0.0;       // mean over the mask of the voxels' temporal means
  double tsnr = 0.0;             // median over the mask of mean / residual SD
  double residualPercent = 0.0;  // pooled residual SD, percent of the voxels' means
  double ar1 = 0.0;              // residual lag-one autocorrelation, fit bias removed
  std::array<double, 3> fwhmMm{kNotMeasured, kNotMeasured, kNotMeasured};
  double fwhmMeanMm = kNotMeasured;  // mean over the axes measured
  double driftPercent = 0.0;     // RMS drift below the cutoff, noise leakage removed
  double driftShare = 0.0;       // drift variance over residual variance
  std::vector<PeriodicComponent> periodic;  // strongest first
  double globalShare = 0.0;      // variance of the mean residual course over residual variance
  double globalAr1 = 0.0;
  // Voxels outside the mask whose mean is below the mask's threshold: their level
  // sigma = sqrt(mean(x^2) / 2), the system noise of magnitude (Rician) data.
  int64_t backgroundVoxels = 0;
  double backgroundLevel = kNotMeasured;
  double backgroundPercent = kNotMeasured;  // sigma over meanSignal, in percent
  double backgroundMeanRatio = kNotMeasured;  // mean(x) / sigma: 1.2533 for pure Rayleigh
};

}  // namespace cohortix::host::noise
