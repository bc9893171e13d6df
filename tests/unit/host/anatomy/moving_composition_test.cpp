// A subject composed with head motion: the noise goes on after the motion,
// unmoved (the data with the plug-in's noise kept are those without it plus that
// noise), the first volume is the head at rest, and the data are the same bytes
// whatever the number of threads that move the volumes.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "host/anatomy/vtc_anatomy.h"

namespace cohortix::host::anatomy {
namespace {

constexpr std::size_t kVolumes = 12;

struct Subject {
  VTCAnatomy anatomy;
  SubjectComponents components;
  DesignMatrix matrix;
  std::vector<float> noise;
  std::vector<float> data;  // F + A x response + noise, as the plug-in makes it
};

Subject subject() {
  Subject s;
  s.anatomy.box = {100, 130, 90, 114, 80, 107, 3};
  s.anatomy.dims = vtcDims(s.anatomy.box);
  const std::size_t voxels = voxelsInBox(s.anatomy.dims);
  uint32_t state = 99;
  const auto uniform = [&state] {
    state = state * 1664525u + 1013904223u;
    return static_cast<float>(state >> 8) / static_cast<float>(1 << 24);
  };
  s.anatomy.level.resize(voxels);
  for (auto& t : s.anatomy.tissue) t.assign(voxels, 0.0f);
  for (std::size_t v = 0; v < voxels; ++v) {
    s.anatomy.level[v] = 0.5f + uniform();
    s.anatomy.tissue[kGrey][v] = uniform();
  }
  s.components.subjectNumber = 3;
  s.components.levels.OnePercent = 10.0f;
  s.components.cellNames = {"task"};
  RegionComponents region;
  region.effects = {CellEffect{2.0f, 2.5f}};
  s.components.regions = {region};
  s.matrix.nrOfVolumes = static_cast<int>(kVolumes);
  s.matrix.predictors = {Predictor{"task", std::vector<float>(kVolumes)}};
  for (std::size_t t = 0; t < kVolumes; ++t) s.matrix.predictors[0].values[t] = t % 6 < 3 ? 1.0f : 0.0f;
  s.components.voxelBaseline.resize(voxels);
  s.components.finalRegion.resize(voxels);
  s.noise.resize(voxels * kVolumes);
  s.data.resize(voxels * kVolumes);
  for (std::size_t v = 0; v < voxels; ++v) {
    s.components.voxelBaseline[v] = 900.0f + 200.0f * uniform();
    s.components.finalRegion[v] = v % 7 == 0 ? 1 : 0;
    for (std::size_t t = 0; t < kVolumes; ++t) {
      const float signal = s.components.finalRegion[v] ? 10.0f * 2.5f * s.matrix.predictors[0].values[t] : 0.0f;
      s.noise[v * kVolumes + t] = 20.0f * (uniform() - 0.5f);
      s.data[v * kVolumes + t] = (s.components.voxelBaseline[v] + signal) + s.noise[v * kVolumes + t];
    }
  }
  return s;
}

std::vector<float> composed(const Subject& s, bool keepNoise, int threads) {
  const AnatomyMotion motion{*motion::motionPreset("high"), 5, 0, 2.0, threads};
  const Composition composition(s.anatomy, SignalIn::Grey, keepNoise, std::nullopt, motion);
  std::vector<float> data = s.data;
  composition.composeData(s.components, s.matrix, data, kVolumes);
  return data;
}

TEST(MovingComposition, TheNoiseGoesOnAfterTheMotionAndThreadsChangeNothing) {
  const Subject s = subject();
  const std::vector<float> noisy = composed(s, true, 1);
  const std::vector<float> clean = composed(s, false, 1);
  EXPECT_EQ(composed(s, true, 3), noisy);
  const Composition still(s.anatomy, SignalIn::Grey, false);
  std::vector<float> rest = s.data;
  still.composeData(s.components, s.matrix, rest, kVolumes);
  bool moved = false;
  for (std::size_t i = 0; i < noisy.size(); ++i) {
    ASSERT_NEAR(noisy[i] - clean[i], s.noise[i], 1e-3) << i;
    if (i % kVolumes == 0) {
      ASSERT_NEAR(clean[i], rest[i], 2e-2) << "volume 0 of voxel " << i / kVolumes;
    }
    moved = moved || std::fabs(clean[i] - rest[i]) > 1.0f;
  }
  EXPECT_TRUE(moved);
}

}  // namespace
}  // namespace cohortix::host::anatomy
