// Head motion: a subject's trajectory is a pure function of (seed, replicate,
// subject) that starts at rest, and each preset gives the mean framewise
// displacement and the share of sudden moves its documentation states; the
// resampling keeps an image at the rest pose, moves it exactly by whole voxels
// and quarter turns in world millimetres, and interpolates a smooth image to
// within a thousandth of its amplitude between the voxels.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "host/motion/head_motion.h"
#include "host/motion/rigid_resampling.h"

namespace cohortix::host::motion {
namespace {

struct PresetFigures {
  const char* name;
  double meanFd;           // mm
  double suddenShare;      // of the volumes with FD above 0.5 mm
};

TEST(HeadMotion, EachPresetGivesItsDisplacementAndSuddenMovesFromItsKeyAlone) {
  for (const PresetFigures figures : {PresetFigures{"still", 0.04, 0.0}, PresetFigures{"typical", 0.15, 0.01},
                                      PresetFigures{"high", 0.42, 0.08}}) {
    const MotionProfile profile = *motionPreset(figures.name);
    double fdSum = 0.0;
    std::size_t steps = 0, sudden = 0;
    for (uint32_t subject = 1; subject <= 200; ++subject) {
      const std::vector<Pose> poses = drawTrajectory({7, 2, subject}, profile, 300, 2.0);
      ASSERT_EQ(poses, drawTrajectory({7, 2, subject}, profile, 300, 2.0));
      ASSERT_NE(poses, drawTrajectory({7, 3, subject}, profile, 300, 2.0));
      ASSERT_EQ(poses[0], Pose{});
      const std::vector<double> fd = framewiseDisplacement(poses);
      for (std::size_t t = 1; t < fd.size(); ++t, ++steps) {
        fdSum += fd[t];
        sudden += fd[t] > 0.5;
      }
    }
    EXPECT_NEAR(fdSum / static_cast<double>(steps), figures.meanFd, 0.15 * figures.meanFd) << figures.name;
    EXPECT_NEAR(static_cast<double>(sudden) / static_cast<double>(steps), figures.suddenShare,
                0.3 * figures.suddenShare + 0.002)
        << figures.name;
  }
  EXPECT_FALSE(motionPreset("wild"));
}

// A VTC-like grid: i along -y, j along -z, k along -x, 3 mm.
constexpr std::array<int32_t, 3> kDims{9, 8, 9};
const GridAffine kAffine{{{0, 0, -3, 100}, {-3, 0, 0, 50}, {0, -3, 0, 70}}};

std::size_t at(int32_t i, int32_t j, int32_t k, const std::array<int32_t, 3>& dims = kDims) {
  return (static_cast<std::size_t>(k) * dims[1] + static_cast<std::size_t>(j)) * dims[0] + static_cast<std::size_t>(i);
}

std::vector<float> randomImage() {
  std::vector<float> image(static_cast<std::size_t>(kDims[0] * kDims[1] * kDims[2]));
  uint32_t state = 12345;
  for (float& value : image) {
    state = state * 1664525u + 1013904223u;
    value = static_cast<float>(state >> 8) / static_cast<float>(1 << 24) * 100.0f;
  }
  return image;
}

std::vector<float> moved(std::vector<float> image, const Pose& pose, const std::array<int32_t, 3>& dims = kDims) {
  const RigidResampler resampler(dims, kAffine);
  std::vector<float> out(image.size());
  resampler.move(image, pose, out);
  return out;
}

TEST(RigidResampling, RestPoseWholeVoxelsAndQuarterTurnsAreExact) {
  const std::vector<float> image = randomImage();
  const std::vector<float> rest = moved(image, Pose{});
  for (std::size_t v = 0; v < image.size(); ++v) ASSERT_NEAR(rest[v], image[v], 2e-3) << v;
  // 3 mm along +x: the voxel at k holds what was at k + 1 (x falls as k grows).
  const std::vector<float> shifted = moved(image, Pose{3, 0, 0, 0, 0, 0});
  for (int32_t k = 0; k + 1 < kDims[2]; ++k)
    for (int32_t j = 0; j < kDims[1]; ++j)
      for (int32_t i = 0; i < kDims[0]; ++i) ASSERT_NEAR(shifted[at(i, j, k)], image[at(i, j, k + 1)], 2e-3);
  // A quarter turn about z (x to y) about the centre: the point at (x, y) moves
  // to (-y, x), so moved(x, y) = image(y, -x) about the centre; on this grid x is
  // -k and y is -i, both of 9 voxels, so moved(i, j, k) = image(8 - k, j, i).
  const std::vector<float> turned = moved(image, Pose{0, 0, 0, 0, 0, std::numbers::pi / 2});
  for (int32_t k = 0; k < kDims[2]; ++k)
    for (int32_t j = 0; j < kDims[1]; ++j)
      for (int32_t i = 0; i < kDims[0]; ++i)
        ASSERT_NEAR(turned[at(i, j, k)], image[at(8 - k, j, i)], 2e-3) << i << " " << j << " " << k;
}

TEST(RigidResampling, ASmoothImageIsInterpolatedBetweenItsVoxels) {
  // A slow cosine along each axis, shifted by 1.3 mm along y (i) and turned by
  // 0.05 rad about x: away from the grid's edges (whose mirror images are not the
  // cosine) the moved image is the function moved.
  constexpr std::array<int32_t, 3> dims{20, 18, 20};
  constexpr int32_t margin = 5;
  std::vector<float> image(static_cast<std::size_t>(dims[0] * dims[1] * dims[2]));
  const auto smooth = [](double x, double y, double z) {
    return 100.0 + 10.0 * std::cos(x / 9.0) * std::cos(y / 11.0 + 0.3) * std::cos(z / 10.0 - 0.2);
  };
  const auto world = [](int32_t i, int32_t j, int32_t k, int r) {
    return kAffine[r][0] * i + kAffine[r][1] * j + kAffine[r][2] * k + kAffine[r][3];
  };
  for (int32_t k = 0; k < dims[2]; ++k)
    for (int32_t j = 0; j < dims[1]; ++j)
      for (int32_t i = 0; i < dims[0]; ++i)
        image[at(i, j, k, dims)] = static_cast<float>(smooth(world(i, j, k, 0), world(i, j, k, 1), world(i, j, k, 2)));
  const Pose pose{0, 1.3, 0, 0.05, 0, 0};
  const std::vector<float> out = moved(image, pose, dims);
  const std::array<double, 3> c = RigidResampler(dims, kAffine).centre();
  const double cs = std::cos(pose[3]), sn = std::sin(pose[3]);
  for (int32_t k = margin; k + margin < dims[2]; ++k)
    for (int32_t j = margin; j + margin < dims[1]; ++j)
      for (int32_t i = margin; i + margin < dims[0]; ++i) {
        // image(R^T (p - c - t) + c), R about x.
        const double x = world(i, j, k, 0), y = world(i, j, k, 1) - c[1] - pose[1], z = world(i, j, k, 2) - c[2];
        const double expected = smooth(x, cs * y + sn * z + c[1], -sn * y + cs * z + c[2]);
        ASSERT_NEAR(out[at(i, j, k, dims)], expected, 0.01) << i << " " << j << " " << k;
      }
}

}  // namespace
}  // namespace cohortix::host::motion
