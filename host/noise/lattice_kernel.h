#pragma once
// Gaussian smoothing on the voxel lattice that measures what it was asked for.
//
// The FWHM estimator reads a field's smoothness from the correlation c of
// neighbouring voxels: a Gaussian field of FWHM f (in voxels along an axis) has
// c = exp(-2 ln 2 / f^2), so f = sqrt(-2 ln 2 / ln c). A Gaussian kernel simply
// sampled on the lattice misses this for small f (at f = 2 voxels by several per
// cent), so the kernel's width is calibrated: its sampled weights
// exp(-j^2 / (2 sigma^2)), j = -R .. R (R three SDs of the continuous kernel), get
// the sigma whose discrete lag-one correlation sum_j k_j k_{j+1} / sum_j k_j^2 is
// exactly exp(-2 ln 2 / f^2), and are scaled to sum_j k_j^2 = 1, so white noise of
// unit variance stays of unit variance.
// Fields are smoothed on a lattice that extends R voxels beyond the image on every
// side, so the edges are as smooth and as variable as the middle.

#include <vector>

namespace cohortix::host::noise {

// The largest FWHM, in voxels along any axis, that the lattice smoothing takes.
inline constexpr double kMaxFwhmVoxels = 12.0;

struct LatticeKernel {
  int radius = 0;
  std::vector<float> weights{1.0f};  // 2 radius + 1 values; {1}: no smoothing
};

// fwhmVoxels 0 gives the identity; fwhmVoxels in (0, kMaxFwhmVoxels].
LatticeKernel calibratedKernel(double fwhmVoxels);

// exp(-2 ln 2 / f^2); 0 for f = 0.
double lagOneCorrelationOfFwhm(double fwhmVoxels);
// sqrt(-2 ln 2 / ln c); 0 for c <= 0, infinity for c >= 1.
double fwhmOfLagOneCorrelation(double correlation);
// sum_j k_j k_{j+1} / sum_j k_j^2.
double lagOneCorrelationOf(const LatticeKernel& kernel);

}  // namespace cohortix::host::noise
