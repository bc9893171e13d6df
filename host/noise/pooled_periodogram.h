#pragma once
// The periodic components of the residuals: the periodogram of every voxel's
// Hann-windowed residual series (percent of its mean), zero-padded to a power of two
// and averaged over voxels. A peak stands more than three times above the noise
// fitted to the spectrum around its main lobe; its amplitude comes from the power of
// the lobe above that noise, its frequency from the lobe's centroid. docs/noise.md
// has the formulas.

#include <complex>
#include <vector>

#include "host/noise/noise_statistics.h"

namespace cohortix::host::noise {

inline constexpr int kMaxPeriodicComponents = 4;

class PooledSpectrum {
 public:
  explicit PooledSpectrum(int volumes);

  // One voxel's residuals, `volumes` values.
  void add(const float* residuals);
  // The strongest peaks above `lowestHz` (the high-pass cutoff), strongest first;
  // residualVariance gives their shares.
  std::vector<PeriodicComponent> peaks(double repetitionTime, double lowestHz,
                                       double residualVariance) const;

  int transformLength() const { return length_; }
  // Mean |X_k|^2 over the voxels added, k = 0 .. length / 2.
  std::vector<double> meanPower() const;

 private:
  void transformPending();

  int volumes_;
  int length_;
  std::vector<double> window_;
  double windowSquares_ = 0.0;
  std::vector<std::complex<double>> twiddles_;
  std::vector<int> reversed_;
  std::vector<std::complex<double>> buffer_;
  std::vector<double> power_;
  bool halfFull_ = false;  // the buffer's real part holds a voxel, waiting for a second
  long voxels_ = 0;
};

}  // namespace cohortix::host::noise
