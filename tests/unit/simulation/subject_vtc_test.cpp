// A subject's volume time courses written into a VTC buffer of the test's own:
// which voxels a region rewrites, how many Gaussian draws a subject takes, and
// that clipping at the box edge changes neither the stream nor memory outside it.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "simulation/random/random_sources.h"
#include "simulation/random/random_state.h"
#include "simulation/simulated_vtc.h"
#include "tests/support/recording_host.h"
#include "tests/support/test_designs.h"

namespace cohortix::testing {
namespace {

constexpr int kGuard = 64;  // floats before and after the VTC data that nothing may touch
constexpr float kGuardValue = -12345.0f;

// A cubic box from 0 to Edge at resolution 1: Edge voxels on every axis.
struct Box {
  int32_t Edge;
  int32_t Volumes;
};

std::unique_ptr<SimulationDesign> boxDesign(const Box& box) {
  auto design = emptyDesign();
  addWithinFactor(*design, {{"A"}});
  design->XEnd = design->YEnd = design->ZEnd = box.Edge;
  design->MeanBaseline = 1000;
  design->BaselineSDAcrossVoxels = 10.0f;
  complete(*design);
  return design;
}

void addRegion(SimulationDesign& design, int32_t centre, float radius, float centerSD = 0.0f) {
  EffectRegion& region = design.Regions[design.NrOfRegions++];
  region.TalX = region.TalY = region.TalZ = 128 - centre;
  region.Radius = radius;
  region.CenterSD = centerSD;
}

struct Outcome {
  std::vector<float> Values;  // guard, data, guard
  int32_t RandomSeed = 0;
  RandomState State{};

  const float* data() const { return Values.data() + kGuard; }
  bool guardsIntact() const {
    for (int i = 0; i < kGuard; ++i)
      if (Values[i] != kGuardValue || Values[Values.size() - 1 - i] != kGuardValue) return false;
    return true;
  }
};

SimulatedVTC vtcOver(const Box& box, float* data) {
  SimulatedVTC vtc;
  vtc.Header.NrOfVolumes = box.Volumes;
  vtc.Header.XEnd = vtc.Header.YEnd = vtc.Header.ZEnd = box.Edge;
  vtc.Header.Resolution = 1;
  vtc.Data = data;
  vtc.DimX = vtc.DimY = vtc.DimZ = box.Edge;
  return vtc;
}

// One subject simulated from the state of a freshly loaded module, seed -1.
Outcome simulate(const SimulationDesign& design, const Box& box) {
  resetRandomSources();
  Outcome outcome;
  const std::size_t values = static_cast<std::size_t>(box.Edge * box.Edge * box.Edge * box.Volumes);
  outcome.Values.assign(values + 2 * kGuard, kGuardValue);
  std::vector<float> response(static_cast<std::size_t>(box.Volumes));
  outcome.RandomSeed = -1;
  EXPECT_TRUE(simulateSubjectVTC(vtcOver(box, outcome.Values.data() + kGuard), design, 0, 0, 0,
                                 response.data(), outcome.RandomSeed));
  outcome.State = saveRandomState();
  return outcome;
}

// True when `draws` Gaussian deviates from a fresh module leave the generator
// exactly where the outcome left it.
bool tookDraws(const Outcome& outcome, long draws) {
  resetRandomSources();
  int32_t seed = -1;
  for (long i = 0; i < draws; ++i) gaussianDeviate(seed);
  const RandomState state = saveRandomState();
  return seed == outcome.RandomSeed &&
         std::memcmp(&state, &outcome.State, sizeof state) == 0;
}

// Voxels whose first value differs between two outcomes.
std::vector<int> rewrittenVoxels(const Outcome& a, const Outcome& b, const Box& box) {
  std::vector<int> voxels;
  for (int v = 0; v < box.Edge * box.Edge * box.Edge; ++v)
    if (a.data()[v * box.Volumes] != b.data()[v * box.Volumes]) voxels.push_back(v);
  return voxels;
}

class SubjectVTC : public ::testing::Test {
 protected:
  RecordingHost host_;  // the run's host functions are bound; no predictor is asked for
  Box box_{9, 3};
  long wholeVolumeDraws() const { return 1L + 729L * (box_.Volumes + 1); }
};

TEST_F(SubjectVTC, WholeVolumeTakesABaselineAndOneNoiseDrawPerVolumeForEveryVoxel) {
  auto design = boxDesign(box_);
  design->NoiseSDPercent = 2.0f;
  const Outcome outcome = simulate(*design, box_);
  EXPECT_TRUE(tookDraws(outcome, wholeVolumeDraws()));
  EXPECT_TRUE(outcome.guardsIntact());
  for (int v = 0; v < 729; ++v) {
    EXPECT_NE(outcome.data()[v * 3], outcome.data()[v * 3 + 1]);  // fresh noise per volume
  }
}

TEST_F(SubjectVTC, RadiusFixesTheCubeDrawnAndTheSphereRewritten) {
  struct Case {
    float Radius;
    long Cube;
    long Rewritten;
  };
  for (const Case c : {Case{1.0f, 27, 7}, Case{1.5f, 125, 19}, Case{0.0f, 1, 1},
                       Case{0.4f, 1, 1}, Case{-0.3f, 1, 0}, Case{-1.0f, 0, 0}}) {
    SCOPED_TRACE(c.Radius);
    auto plain = boxDesign(box_);
    auto withRegion = boxDesign(box_);
    addRegion(*withRegion, 4, c.Radius);
    const Outcome before = simulate(*plain, box_);
    const Outcome after = simulate(*withRegion, box_);
    EXPECT_EQ(rewrittenVoxels(before, after, box_).size(), static_cast<std::size_t>(c.Rewritten));
    EXPECT_TRUE(tookDraws(after, wholeVolumeDraws() + 3 + c.Cube + c.Rewritten * box_.Volumes));
  }
}

TEST_F(SubjectVTC, RegionAtTheBoxCornerIsClippedButDrawsAsIfWhole) {
  auto plain = boxDesign(box_);
  auto corner = boxDesign(box_);
  addRegion(*corner, 0, 1.5f);
  const Outcome before = simulate(*plain, box_);
  const Outcome after = simulate(*corner, box_);
  // Of the 19 voxels within 1.5 of (0, 0, 0) those with no negative index: the
  // centre, its 3 face neighbours inside and the 3 edge neighbours between them.
  EXPECT_EQ(rewrittenVoxels(before, after, box_).size(), 7u);
  EXPECT_TRUE(after.guardsIntact());
  EXPECT_TRUE(tookDraws(after, wholeVolumeDraws() + 3 + 125 + 19 * box_.Volumes));

  auto beyond = boxDesign(box_);
  addRegion(*beyond, 9, 1.0f);  // the centre one voxel past the far corner
  const Outcome outside = simulate(*beyond, box_);
  EXPECT_EQ(rewrittenVoxels(before, outside, box_).size(), 0u);
  EXPECT_TRUE(outside.guardsIntact());
  EXPECT_TRUE(tookDraws(outside, wholeVolumeDraws() + 3 + 27 + 7 * box_.Volumes));
}

TEST_F(SubjectVTC, LowBaselineIsRaisedTo150AndWithoutNoiseEveryValueIsTheBaseline) {
  auto design = boxDesign(box_);
  design->MeanBaseline = 100;
  design->BaselineSDAcrossSubjects = 0.0f;
  design->BaselineSDAcrossVoxels = 0.0f;
  addRegion(*design, 4, 2.0f);
  const Outcome outcome = simulate(*design, box_);
  for (int i = 0; i < 729 * 3; ++i) ASSERT_EQ(outcome.data()[i], 150.0f) << i;
}

TEST_F(SubjectVTC, TalairachCentreMapsOntoTheBoxAxesRoundedHalfUp) {
  // Box 60..181, 40..160, 50..170 at resolution 3: 40 voxels on every axis.
  auto design = boxDesign(box_);
  design->XStart = 60, design->XEnd = 181;
  design->YStart = 40, design->YEnd = 160;
  design->ZStart = 50, design->ZEnd = 170;
  design->Resolution = 3;
  design->Regions[0] = EffectRegion{10, -20, 30, 0.0f, 0.0f};
  design->NrOfRegions = 1;
  SimulatedVTC vtc;
  vtc.Header.NrOfVolumes = 1;
  vtc.Header.XStart = 60, vtc.Header.XEnd = 181;
  vtc.Header.YStart = 40, vtc.Header.YEnd = 160;
  vtc.Header.ZStart = 50, vtc.Header.ZEnd = 170;
  vtc.Header.Resolution = 3;
  vtc.DimX = vtc.DimY = vtc.DimZ = 40;
  std::vector<float> data(40 * 40 * 40), reference;
  std::vector<float> response(1);
  vtc.Data = data.data();
  for (int regions : {0, 1}) {
    design->NrOfRegions = regions;
    resetRandomSources();
    int32_t seed = -1;
    ASSERT_TRUE(simulateSubjectVTC(vtc, *design, 0, 0, 0, response.data(), seed));
    if (regions == 0) reference = data;
  }
  std::vector<std::size_t> changed;
  for (std::size_t i = 0; i < data.size(); ++i)
    if (data[i] != reference[i]) changed.push_back(i);
  EXPECT_THAT(changed, ::testing::ElementsAre(voxelElement(vtc, VoxelIndex{29, 19, 23}, 1)));
}

TEST(VoxelElement, IsVoxelMajorWithTimeFastestAndPastTwoToThe31) {
  SimulatedVTC vtc;
  vtc.DimX = 3, vtc.DimY = 4, vtc.DimZ = 5;
  EXPECT_EQ(voxelElement(vtc, VoxelIndex{2, 1, 3}, 7), ((3u * 4 + 1) * 3 + 2) * 7);
  vtc.DimX = vtc.DimY = vtc.DimZ = 1300;
  const std::size_t last = voxelElement(vtc, VoxelIndex{1299, 1299, 1299}, 10);
  EXPECT_EQ(last, (std::size_t{1300} * 1300 * 1300 - 1) * 10);
  EXPECT_GT(last, std::size_t{1} << 31);
}

}  // namespace
}  // namespace cohortix::testing
