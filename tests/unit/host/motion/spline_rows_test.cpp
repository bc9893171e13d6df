// The row sampler against the spline evaluated here in double precision, tap by
// tap with the mirror folded at every index, for source grids that are turned,
// scaled, shifted and taken beyond the margin: every voxel it samples is the spline's
// value to single precision's rounding, every voxel it leaves to its caller is
// one whose taps reach beyond the margin, and the AVX2 path and the baseline's
// give the same bits.

#include "host/motion/spline_rows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace cohortix::host::motion {
namespace {

constexpr std::array<int32_t, 3> kDims{29, 11, 7};

double weight(double t, int tap) {
  const double u = 1.0 - t;
  switch (tap) {
    case 0: return u * u * u / 6.0;
    case 1: return 2.0 / 3.0 - t * t + 0.5 * t * t * t;
    case 2: return 2.0 / 3.0 - u * u + 0.5 * u * u * u;
    default: return t * t * t / 6.0;
  }
}

double splineAt(const std::vector<float>& c, const std::array<double, 3>& x) {
  std::array<std::array<double, 4>, 3> w{};
  std::array<std::array<int32_t, 4>, 3> index{};
  for (std::size_t r = 0; r < 3; ++r) {
    const double whole = std::floor(x[r]);
    for (int tap = 0; tap < 4; ++tap) {
      w[r][static_cast<std::size_t>(tap)] = weight(x[r] - whole, tap);
      index[r][static_cast<std::size_t>(tap)] = mirroredIndex(static_cast<int64_t>(whole) - 1 + tap, kDims[r]);
    }
  }
  double sum = 0.0;
  for (std::size_t a = 0; a < 4; ++a)
    for (std::size_t b = 0; b < 4; ++b)
      for (std::size_t t = 0; t < 4; ++t)
        sum += w[2][a] * w[1][b] * w[0][t] *
               c[(static_cast<std::size_t>(index[2][a]) * kDims[1] + static_cast<std::size_t>(index[1][b])) * kDims[0] +
                 static_cast<std::size_t>(index[0][t])];
  return sum;
}

TEST(SplineRows, EverySampledVoxelIsTheSplinesValueAndOnlyThoseBeyondTheMarginAreLeft) {
  std::mt19937 random(7);
  std::uniform_real_distribution<float> value(-50.0f, 150.0f);
  std::vector<float> coefficients(static_cast<std::size_t>(kDims[0] * kDims[1] * kDims[2]));
  for (float& c : coefficients) c = value(random);
  const PaddedCoefficients padded(coefficients, kDims);
  std::uniform_real_distribution<double> angle(-0.05, 0.05);
  int sampled = 0, left = 0;
  for (const double shift : {0.0, 0.3, -1.7, 4.6}) {
    for (int trial = 0; trial < 4; ++trial) {
      // A small rotation's matrix (first order is enough: any affine will do), a
      // shift, and for half of them a scale along x, so that neighbours along a
      // row do not always read one voxel further along.
      const double a = angle(random), b = angle(random), g = angle(random), scale = trial % 2 ? 0.93 : 1.0;
      const GridAffine source{{{scale, -g, b, shift}, {g, 1.0, -a, 0.5 * shift}, {-b, a, 1.0, -0.25 * shift}}};
      for (int32_t k = 0; k < kDims[2]; ++k)
        for (int32_t j = 0; j < kDims[1]; ++j) {
          RowScratch scratch;
          std::vector<float> best(kDims[0], NAN), baseline(kDims[0], NAN);
          std::vector<int32_t> beyond, beyondBaseline;
          sampleRow(padded, source, j, k, scratch, best.data(), beyond);
          sampleRow(padded, source, j, k, scratch, baseline.data(), beyondBaseline, true);
          ASSERT_EQ(beyond, beyondBaseline);
          for (int32_t i = 0; i < kDims[0]; ++i) {
            std::array<double, 3> x{};
            for (std::size_t r = 0; r < 3; ++r)
              x[r] = source[r][0] * i + source[r][1] * j + source[r][2] * k + source[r][3];
            bool reaches = false;
            for (std::size_t r = 0; r < 3; ++r) {
              const double first = std::floor(x[r]) - 1;
              reaches = reaches || first < -PaddedCoefficients::kMargin || first + 3 >= kDims[r] + PaddedCoefficients::kMargin;
            }
            const bool isLeft = std::find(beyond.begin(), beyond.end(), i) != beyond.end();
            ASSERT_EQ(isLeft, reaches) << i << " " << j << " " << k;
            if (isLeft) {
              ++left;
              continue;
            }
            ++sampled;
            ASSERT_EQ(std::memcmp(&best[static_cast<std::size_t>(i)], &baseline[static_cast<std::size_t>(i)], sizeof(float)), 0);
            ASSERT_NEAR(best[static_cast<std::size_t>(i)], splineAt(coefficients, x), 2e-4) << i << " " << j << " " << k;
          }
        }
    }
  }
  EXPECT_GT(sampled, 4000);
  EXPECT_GT(left, 100);
}

}  // namespace
}  // namespace cohortix::host::motion
