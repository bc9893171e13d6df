// The subject's model apart from the plug-in: run from a copy of the process-wide
// random state, with the host's design matrix read directly, it writes the
// plug-in's data bit for bit and ends where the plug-in leaves the process state;
// and what it tells an observer accounts for every value it writes.

#include "simulation/subject_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <set>
#include <vector>

#include "simulation/design_matrix_step.h"
#include "simulation/protocol_step.h"
#include "simulation/random/random_sources.h"
#include "simulation/simulated_vtc.h"
#include "tests/support/recording_host.h"
#include "tests/support/test_designs.h"

namespace cohortix::testing {
namespace {

constexpr int32_t kEdge = 8;  // VTC voxels on every axis

// A region centred on VTC voxel (x, y, z) of a box starting at 0 with resolution 1.
EffectRegion regionAt(int32_t x, int32_t y, int32_t z, float radius, float centerSD) {
  return EffectRegion{128 - z, 128 - x, 128 - y, radius, centerSD};
}

// Two cells with rests, 2 groups of 2 subjects, noise, spread of the baselines and
// of the subjects' effects, jittered centres; regions 0 and 1 overlap, region 2
// sits at a corner of the box and is clipped.
std::unique_ptr<SimulationDesign> studyDesign(float noisePercent) {
  auto design = emptyDesign("Model");
  addWithinFactor(*design, {{"On"}, {"Off"}});
  design->NrOfBetweenFactors = 1;
  design->BetweenFactors[0].NrOfLevels = 2;
  design->NrOfSubjectsPerGroup = 2;
  design->HasRestPeriods = true;
  design->RestDuration = 3;
  design->TrialDuration = 2;
  design->NrOfTrialsPerCondition = 2;
  design->XEnd = design->YEnd = design->ZEnd = kEdge;
  design->MeanBaseline = 1000;
  design->BaselineSDAcrossSubjects = 40.0f;
  design->BaselineSDAcrossVoxels = 15.0f;
  design->NoiseSDPercent = noisePercent;
  design->NrOfRegions = 3;
  design->Regions[0] = regionAt(4, 4, 4, 2.0f, 0.6f);
  design->Regions[1] = regionAt(5, 4, 4, 1.5f, 0.4f);
  design->Regions[2] = regionAt(0, 0, 7, 2.5f, 0.6f);
  design->EffectsPerGroup = true;
  design->SubjectEffectSD = 0.7f;
  complete(*design);
  for (int r = 0; r < 3; ++r)
    for (int row = 0; row < design->NrOfEffectRows; ++row) {
      design->EffectTable[r][row][0] = 2.0f + static_cast<float>(r + row);
      design->EffectTable[r][row][1] = -0.5f * static_cast<float>(row + 1);
    }
  return design;
}

// The predictors of the host's current design matrix, read from the host's own
// record of it, not through the plug-in's host functions.
class SessionPredictors final : public PredictorSource {
 public:
  explicit SessionPredictors(const host::HostSession& session) : session_(session) {}
  const float* predictorTimeCourse(int32_t p) override {
    asked.push_back("ktGetPredictor(" + std::to_string(p) + ")");
    return session_.designMatrix().predictors.at(static_cast<std::size_t>(p)).values.data();
  }
  std::vector<std::string> asked;

 private:
  const host::HostSession& session_;
};

struct Received {
  SubjectLevels Levels;
  std::vector<std::size_t> WholeVolumeVoxels;
  std::vector<float> WholeVolumeF;
  std::map<int32_t, RegionPlacement> Placements;
  std::map<int32_t, std::vector<float>> Effects;  // received, cell order
  std::map<int32_t, std::vector<std::pair<std::size_t, float>>> Written;
};

class RecordingObserver final : public SubjectObserver {
 public:
  void subjectLevels(const SubjectLevels& levels) override { got.Levels = levels; }
  void wholeVolumeBaseline(std::size_t voxel, float F) override {
    got.WholeVolumeVoxels.push_back(voxel);
    got.WholeVolumeF.push_back(F);
  }
  void cellEffect(int32_t r, int32_t p, float tableValue, float received) override {
    EXPECT_EQ(static_cast<std::size_t>(p), got.Effects[r].size());
    EXPECT_EQ(tableValue, table[r][p]);
    got.Effects[r].push_back(received);
  }
  void regionPlaced(int32_t r, const RegionPlacement& placement) override {
    got.Placements[r] = placement;
  }
  void regionVoxel(int32_t r, std::size_t voxel, float F) override {
    got.Written[r].push_back({voxel, F});
  }
  std::map<int32_t, std::vector<float>> table;  // the group's row of every region
  Received got;
};

// The host with its VTC, and one subject's design matrix at a time built in it as
// the run builds it.
class SubjectModel : public ::testing::Test {
 protected:
  void SetUp() override { resetRandomSources(); }

  int32_t prepareSubject(const SimulationDesign& design) {
    EXPECT_TRUE(buildSubjectProtocol(design, "p.prt"));
    return buildSubjectDesignMatrix(design, "p.rtc");
  }

  std::size_t values(const SimulatedVTC& vtc) const {
    return voxelsInBox(geometryOf(vtc).Dims) * static_cast<std::size_t>(vtc.Header.NrOfVolumes);
  }

  RecordingHost host_;
};

TEST_F(SubjectModel, FromACopyOfTheStateItWritesThePluginsDataBitForBit) {
  const auto design = studyDesign(2.0f);
  const SimulatedVTC vtc = createSimulatedVTC(*design);
  const std::size_t count = values(vtc);
  ASSERT_GT(count, 0u);
  std::vector<float> pluginResponse(static_cast<std::size_t>(design->NrOfVolumes));
  std::vector<float> ownResponse(pluginResponse.size());
  int32_t RandomSeed = -1;
  for (int32_t g = 0; g < 2; ++g)
    for (int32_t s = 0; s < 2; ++s) {
      SCOPED_TRACE("group " + std::to_string(g) + ", subject " + std::to_string(s));
      const int32_t predictors = prepareSubject(*design);
      const RandomState stateBefore = saveRandomState();
      const int32_t seedBefore = RandomSeed;
      const std::size_t callsBefore = host_.callsTo("ktGetPredictor").size();

      ASSERT_TRUE(simulateSubjectVTC(vtc, *design, g, s, predictors, pluginResponse.data(),
                                     RandomSeed));
      const std::vector<std::string> allAsked = host_.callsTo("ktGetPredictor");
      const std::vector<std::string> pluginAsked(
          allAsked.begin() + static_cast<std::ptrdiff_t>(callsBefore), allAsked.end());

      for (const bool observed : {false, true}) {
        SCOPED_TRACE(observed ? "observed" : "unobserved");
        RandomState state = stateBefore;
        int32_t seed = seedBefore;
        std::vector<float> data(count, -1.0f);
        SessionPredictors source(host_.session());
        RecordingObserver observer;
        observer.table = {{0, {design->EffectTable[0][g][0], design->EffectTable[0][g][1]}},
                          {1, {design->EffectTable[1][g][0], design->EffectTable[1][g][1]}},
                          {2, {design->EffectTable[2][g][0], design->EffectTable[2][g][1]}}};
        ASSERT_TRUE(modelSubjectVTC(*design, g, s, predictors, source, geometryOf(vtc),
                                    data.data(), ownResponse.data(), state, seed,
                                    observed ? &observer : nullptr));
        EXPECT_EQ(std::memcmp(data.data(), vtc.Data, count * sizeof(float)), 0);
        const RandomState stateAfter = saveRandomState();
        EXPECT_EQ(std::memcmp(&state, &stateAfter, sizeof state), 0);
        EXPECT_EQ(seed, RandomSeed);
        EXPECT_EQ(source.asked, pluginAsked);
      }
    }
}

// Voxel numbers of the box within radius of the centre, as the model measures it.
std::set<std::size_t> sphereInBox(const VoxelIndex& centre, float radius, int32_t& inCube) {
  std::set<std::size_t> voxels;
  const int32_t J = static_cast<int32_t>(std::floor(radius + 0.5f));
  inCube = 0;
  for (int32_t z = centre.Z - J; z <= centre.Z + J; ++z)
    for (int32_t y = centre.Y - J; y <= centre.Y + J; ++y)
      for (int32_t x = centre.X - J; x <= centre.X + J; ++x) {
        const int32_t d2 = (x - centre.X) * (x - centre.X) + (y - centre.Y) * (y - centre.Y) +
                           (z - centre.Z) * (z - centre.Z);
        if (std::sqrt(static_cast<float>(d2)) > radius) continue;
        ++inCube;
        if (x >= 0 && x < kEdge && y >= 0 && y < kEdge && z >= 0 && z < kEdge)
          voxels.insert(static_cast<std::size_t>((z * kEdge + y) * kEdge + x));
      }
  return voxels;
}

// Without noise every value is a baseline F plus one percent of the subject's
// baseline times the response: each voxel's values follow from what the observer
// was told about the last pass that wrote it.
TEST_F(SubjectModel, WhatTheObserverIsToldAccountsForEveryValue) {
  const auto design = studyDesign(0.0f);
  const SimulatedVTC vtc = createSimulatedVTC(*design);
  const std::size_t n = static_cast<std::size_t>(vtc.Header.NrOfVolumes);
  const std::size_t voxels = voxelsInBox(geometryOf(vtc).Dims);
  std::vector<float> data(voxels * n), response(n);
  RandomState state;  // a state of the model's own, fresh as at load
  int32_t seed = -1;
  bool clipped = false, overlapped = false;
  for (int32_t g = 0; g < 2; ++g)
    for (int32_t s = 0; s < 2; ++s) {
      SCOPED_TRACE("group " + std::to_string(g) + ", subject " + std::to_string(s));
      const int32_t predictors = prepareSubject(*design);
      SessionPredictors source(host_.session());
      RecordingObserver observer;
      for (int r = 0; r < 3; ++r)
        observer.table[r] = {design->EffectTable[r][g][0], design->EffectTable[r][g][1]};
      ASSERT_TRUE(modelSubjectVTC(*design, g, s, predictors, source, geometryOf(vtc),
                                  data.data(), response.data(), state, seed, &observer));
      Received& got = observer.got;
      EXPECT_EQ(got.Levels.OnePercent, got.Levels.Baseline / 100.0f);
      EXPECT_EQ(got.Levels.NoiseSD, 0.0f);
      ASSERT_EQ(got.WholeVolumeVoxels.size(), voxels);
      for (std::size_t v = 0; v < voxels; ++v) ASSERT_EQ(got.WholeVolumeVoxels[v], v);

      // Each voxel's expected values from the last report about it.
      std::vector<std::vector<float>> expected(voxels);
      for (std::size_t v = 0; v < voxels; ++v)
        expected[v].assign(n, got.WholeVolumeF[v]);
      std::map<std::size_t, int> writers;
      const auto& courses = host_.session().designMatrix().predictors;
      for (int32_t r = 0; r < 3; ++r) {
        const RegionPlacement& placement = got.Placements.at(r);
        EXPECT_EQ(placement.Radius, design->Regions[r].Radius);
        EXPECT_EQ(placement.TalX, design->Regions[r].TalX);
        int32_t inSphere = 0;
        const std::set<std::size_t> sphere = sphereInBox(placement.Centre, placement.Radius, inSphere);
        std::set<std::size_t> written;
        for (const auto& [voxel, F] : got.Written[r]) {
          written.insert(voxel);
          ++writers[voxel];
          for (std::size_t t = 0; t < n; ++t) {
            float sum = 0.0f;
            for (std::size_t p = 0; p < got.Effects.at(r).size(); ++p)
              sum = sum + got.Effects.at(r)[p] * courses[p].values[t];
            expected[voxel][t] = F + got.Levels.OnePercent * sum;
          }
        }
        EXPECT_EQ(written, sphere) << "region " << r;
        clipped = clipped || static_cast<int32_t>(sphere.size()) < inSphere;
      }
      for (const auto& [voxel, count] : writers) overlapped = overlapped || count > 1;
      for (std::size_t v = 0; v < voxels; ++v)
        ASSERT_EQ(std::vector<float>(data.begin() + static_cast<std::ptrdiff_t>(v * n),
                                     data.begin() + static_cast<std::ptrdiff_t>((v + 1) * n)),
                  expected[v])
            << "voxel " << v;
    }
  EXPECT_TRUE(clipped);
  EXPECT_TRUE(overlapped);
}

}  // namespace
}  // namespace cohortix::testing
