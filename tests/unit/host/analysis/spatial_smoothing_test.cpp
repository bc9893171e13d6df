// Smoothing before the first level: the separable passes equal a direct 3-D
// Gaussian convolution renormalised over the box, and a flat volume stays flat.

#include "host/analysis/spatial_smoothing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace cohortix::host {
namespace {

TEST(SpatialSmoothing, EqualsADirectGaussianConvolutionRenormalisedInTheBox) {
  StudyGrid grid;
  grid.dims = {7, 5, 4};
  grid.affine = {{{2.0, 0, 0, 0}, {0, 3.0, 0, 0}, {0, 0, 4.0, 0}}};
  const int32_t volumes = 3;
  const double fwhm = 7.0;
  std::mt19937 random(7);
  std::normal_distribution<float> normal(100.0f, 5.0f);
  const std::size_t voxels = 7 * 5 * 4;
  std::vector<float> data(voxels * volumes);
  for (float& value : data) value = normal(random);
  const std::vector<float> original = data;
  smoothVolumes(data, grid, volumes, fwhm);

  const double sizes[3] = {2.0, 3.0, 4.0};
  const int dims[3] = {7, 5, 4};
  const auto weight = [&](int axis, int offset) {
    const double sigma = fwhm / (2.0 * std::sqrt(2.0 * std::log(2.0))) / sizes[axis];
    return std::abs(offset) <= static_cast<int>(3.0 * sigma + 0.5) ? std::exp(-0.5 * offset * offset / (sigma * sigma))
                                                                   : 0.0;
  };
  for (int z = 0; z < dims[2]; ++z)
    for (int y = 0; y < dims[1]; ++y)
      for (int x = 0; x < dims[0]; ++x)
        for (int t = 0; t < volumes; ++t) {
          double sum = 0.0, total = 0.0;
          for (int k = 0; k < dims[2]; ++k)
            for (int j = 0; j < dims[1]; ++j)
              for (int i = 0; i < dims[0]; ++i) {
                const double w = weight(0, i - x) * weight(1, j - y) * weight(2, k - z);
                sum += w * original[((k * dims[1] + j) * dims[0] + i) * volumes + t];
                total += w;
              }
          EXPECT_NEAR(data[((z * dims[1] + y) * dims[0] + x) * volumes + t], sum / total, 1e-3);
        }

  std::vector<float> flat(voxels * volumes, 250.0f);
  smoothVolumes(flat, grid, volumes, fwhm);
  for (const float value : flat) EXPECT_FLOAT_EQ(value, 250.0f);
}

}  // namespace
}  // namespace cohortix::host
