#pragma once
// The host's noise model, prepared for one geometry and applied to one subject's
// data at a time, in place. docs/noise.md describes every component.
//
// Data: float, voxel-major with each voxel's `volumes` values contiguous, voxels x
// fastest, then y, then z. Percent amplitudes scale with each voxel's baseline (the
// caller's, or else the voxel's temporal mean before the noise); the system noise
// has one level for all voxels, in percent of the mean positive baseline, as thermal
// noise does not follow the signal. The system noise comes last: Rician noise is the
// magnitude of the noisy value and an independent imaginary part.
//
// The rhythms' weight fields and the global course are scaled in each subject to
// exactly the mean square asked for, so their amplitudes are those asked for in
// every subject, not just on average.
//
// Every value is a pure function of the data, the model and the key: the same
// whatever the number of threads (which split the slices).
//
// Cost per subject, V voxels and n volumes: about V n Gaussian deviates for Gaussian
// system noise (2 V n for Rician), V n (1 + margins) for the tissue field, whose
// margins are the kernels' radii around the box, 3 (2 R + 1) multiply-adds per value
// for its smoothing, K per value for the drift and 2 per rhythm. A deviate costs
// about 2 to 3 ns on one core with AVX2 (docs/performance.md has measured figures).
// Memory: per thread the smoother's ring of 2 Rz + 4 slices of one chunk of volumes
// (at most 8 MiB), plus V floats for the baselines and 2 V per rhythm.

#include <cstddef>
#include <vector>

#include "host/io/status.h"
#include "host/noise/ar_process.h"
#include "host/noise/counter_random.h"
#include "host/noise/lattice_kernel.h"
#include "host/noise/noise_geometry.h"
#include "host/noise/noise_profile.h"

namespace cohortix::host::noise {

class NoiseModel {
 public:
  // A target profile is solved for the geometry here. Refuses, with the reason,
  // components the geometry cannot carry (an FWHM beyond kMaxFwhmVoxels voxels, a
  // non-stationary AR, fewer volumes than the AR's order, ...).
  static Result<NoiseModel> prepare(const NoiseProfile& profile, const NoiseGeometry& geometry);
  static Result<NoiseModel> prepare(const NoiseComponents& components, const NoiseGeometry& geometry);

  const NoiseComponents& components() const { return components_; }
  // Volumes per pass over the data: at most `volumes`, rounded up to a multiple of
  // 32. Fewer volumes per pass hold less memory; the values do not change.
  void limitVolumesPerPass(std::size_t volumes);
  const NoiseGeometry& geometry() const { return geometry_; }

  // Adds the noise to data (geometry().voxels() * volumes floats). baseline: one
  // value per voxel, or null for the temporal means. threads >= 1.
  void apply(float* data, const float* baseline, const NoiseKey& key, int threads = 1) const;

 private:
  struct PreparedRhythm {
    float amplitude = 0.0f;         // A / sqrt(2): the weights have unit variance each
    std::vector<float> cosine, sine;  // per volume, padded
    LatticeKernel kernels[3];
  };
  struct SubjectState;

  NoiseModel() = default;
  void applySlab(float* data, const SubjectState& subject, int zBegin, int zEnd) const;
  void finishSlice(float* data, const SubjectState& subject, int z, std::size_t first,
                   std::size_t length, const float* tissue, std::size_t stride) const;

  NoiseGeometry geometry_;
  NoiseComponents components_;
  bool tissue_ = false;
  float tissueSD_ = 0.0f;
  ArProcess tissueAr_;
  LatticeKernel tissueKernels_[3];
  float systemSD_ = 0.0f;  // percent of the mean positive baseline
  bool rician_ = false;
  int driftOrders_ = 0;
  float driftScale_ = 0.0f;
  std::vector<float> driftBasis_;  // driftOrders_ rows of paddedLength(volumes)
  std::vector<PreparedRhythm> rhythms_;
  float globalSD_ = 0.0f;
  ArProcess globalAr_;
  std::size_t chunk_ = 0;  // volumes per pass
};

}  // namespace cohortix::host::noise
