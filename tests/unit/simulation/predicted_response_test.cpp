// The signal inside an effect region: the subject's baseline plus one percent of
// it times the effect-weighted sum of the subject's predictors, with the effects
// read from the subject's row or drawn around the group's.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "simulation/design_matrix_step.h"
#include "simulation/protocol_step.h"
#include "simulation/random/random_state.h"
#include "simulation/simulated_vtc.h"
#include "tests/support/recording_host.h"
#include "tests/support/test_designs.h"

namespace cohortix::testing {
namespace {

constexpr int kEdge = 5;  // VTC voxels on each axis; the region sits at (2, 2, 2)

// Two cells with rests, 2 groups of 3 subjects, no noise and no spread: every
// value is B = 1000 outside the region.
std::unique_ptr<SimulationDesign> noiseFreeDesign(bool effectsPerGroup) {
  auto design = emptyDesign("Clean");
  addWithinFactor(*design, {{"On"}, {"Off"}});
  design->NrOfBetweenFactors = 1;
  design->BetweenFactors[0].NrOfLevels = 2;
  design->NrOfSubjectsPerGroup = 3;
  design->HasRestPeriods = true;
  design->RestDuration = 6;
  design->TrialDuration = 4;
  design->NrOfTrialsPerCondition = 2;
  design->XEnd = design->YEnd = design->ZEnd = kEdge;
  design->MeanBaseline = 1000;
  design->NrOfRegions = 1;
  design->Regions[0] = EffectRegion{126, 126, 126, 1.0f, 0.0f};
  design->EffectsPerGroup = effectsPerGroup;
  complete(*design);
  for (int row = 0; row < design->NrOfEffectRows; ++row) {
    design->EffectTable[0][row][0] = 1.0f + static_cast<float>(row);
    design->EffectTable[0][row][1] = 0.5f * static_cast<float>(row);
  }
  return design;
}

// One subject's protocol, design matrix and volume time courses, simulated into
// the host's VTC.
class SubjectInHost {
 public:
  explicit SubjectInHost(const SimulationDesign& design) : design_(design) {
    vtc_ = createSimulatedVTC(design);
    response_.resize(static_cast<std::size_t>(design.NrOfVolumes));
  }

  void simulate(int32_t g, int32_t s) {
    ASSERT_TRUE(buildSubjectProtocol(design_, "p.prt"));
    predictors_ = buildSubjectDesignMatrix(design_, "p.rtc");
    ASSERT_TRUE(simulateSubjectVTC(vtc_, design_, g, s, predictors_, response_.data(), seed_));
  }

  std::vector<float> timeCourse(const VoxelIndex& v) const {
    const float* first = vtc_.Data + voxelElement(vtc_, v, volumes());
    return std::vector<float>(first, first + volumes());
  }

  // B + A * (e0 * P0 + e1 * P1) at every volume, in the run's float arithmetic.
  std::vector<float> expected(float baseline, float e0, float e1) const {
    const float* p0 = host_.session().designMatrix().predictors.at(0).values.data();
    const float* p1 = host_.session().designMatrix().predictors.at(1).values.data();
    std::vector<float> values;
    for (std::size_t t = 0; t < volumes(); ++t) {
      const float response = (0.0f + e0 * p0[t]) + e1 * p1[t];
      values.push_back(baseline + (baseline / 100.0f) * response);
    }
    return values;
  }

  int32_t predictors() const { return predictors_; }

 private:
  std::size_t volumes() const { return static_cast<std::size_t>(vtc_.Header.NrOfVolumes); }

  RecordingHost host_;
  const SimulationDesign& design_;
  SimulatedVTC vtc_;
  std::vector<float> response_;
  int32_t predictors_ = 0;
  int32_t seed_ = -1;
};

TEST(PredictedResponse, InsideTheSphereIsBaselinePlusOnePercentTimesTheSubjectsRow) {
  const auto design = noiseFreeDesign(false);
  SubjectInHost subject(*design);
  subject.simulate(1, 1);  // the second subject of the second group reads row 4
  EXPECT_EQ(subject.predictors(), 2);
  const std::vector<float> inside = subject.expected(1000.0f, 5.0f, 2.0f);
  for (const VoxelIndex v : {VoxelIndex{2, 2, 2}, VoxelIndex{1, 2, 2}, VoxelIndex{2, 2, 3}})
    EXPECT_EQ(subject.timeCourse(v), inside);
  for (const VoxelIndex v : {VoxelIndex{1, 1, 2}, VoxelIndex{0, 0, 0}, VoxelIndex{4, 4, 4}})
    EXPECT_THAT(subject.timeCourse(v), ::testing::Each(1000.0f));
  EXPECT_NE(inside.front(), inside[20]);  // the response rises within the run
}

TEST(PredictedResponse, EffectsPerGroupReadTheGroupsRow) {
  auto design = noiseFreeDesign(true);
  design->SubjectEffectSD = 0.0f;
  SubjectInHost subject(*design);
  subject.simulate(1, 2);
  EXPECT_EQ(subject.timeCourse(VoxelIndex{2, 2, 2}), subject.expected(1000.0f, 2.0f, 0.5f));
}

TEST(PredictedResponse, SubjectsOfOneGroupDrawTheirOwnEffectsEvenAroundZero) {
  auto design = noiseFreeDesign(true);
  design->EffectTable[0][0][0] = 0.0f;
  design->EffectTable[0][0][1] = 0.0f;
  design->SubjectEffectSD = 1.0f;
  SubjectInHost subject(*design);
  subject.simulate(0, 0);
  const std::vector<float> first = subject.timeCourse(VoxelIndex{2, 2, 2});
  subject.simulate(0, 1);
  const std::vector<float> second = subject.timeCourse(VoxelIndex{2, 2, 2});
  EXPECT_NE(first, second);
  EXPECT_NE(first, std::vector<float>(first.size(), 1000.0f));
  EXPECT_NE(second, std::vector<float>(second.size(), 1000.0f));
}

}  // namespace
}  // namespace cohortix::testing
