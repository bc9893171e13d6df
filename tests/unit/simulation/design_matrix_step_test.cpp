// A subject's design matrix as built from the protocol the host loaded back: one
// predictor per trial condition, "Baseline" left out, predictor p for cell p.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "simulation/design_matrix_step.h"
#include "simulation/protocol_step.h"
#include "tests/support/recording_host.h"
#include "tests/support/test_designs.h"

using ::testing::ElementsAre;

namespace cohortix::testing {
namespace {

std::unique_ptr<SimulationDesign> twoByTwo(bool rests) {
  auto design = emptyDesign("Study");
  addWithinFactor(*design, {{"Easy", 255, 0, 0}, {"Hard", 0, 0, 255}});
  addWithinFactor(*design, {{"Left", 0, 100, 0}, {"Right", 0, 0, 0}});
  design->HasRestPeriods = rests;
  design->RestDuration = rests ? 4 : 0;
  design->TrialDuration = 3;
  design->NrOfTrialsPerCondition = 2;
  return design;
}

std::vector<std::string> predictorNames(const RecordingHost& host) {
  std::vector<std::string> names;
  for (const auto& predictor : host.session().designMatrix().predictors)
    names.push_back(predictor.name);
  return names;
}

TEST(DesignMatrixStep, WithRestsPredictorsComeFromConditionsAfterBaseline) {
  auto design = twoByTwo(true);
  complete(*design);
  RecordingHost host;
  ASSERT_TRUE(buildSubjectProtocol(*design, "S1_G1_Study.prt"));
  EXPECT_EQ(buildSubjectDesignMatrix(*design, "S1_G1_Study.rtc"), 4);
  std::vector<std::string> expected = {"ktGetProtocol(&)", "ktClearDesignMatrix()"};
  const char* names[] = {"Easy x Left", "Hard x Left", "Easy x Right", "Hard x Right"};
  const int colors[] = {16737280, 100 * 256 + 255, 16711680, 255};
  // One record serves every condition: the host overwrites what the last one left.
  std::string previous = "{\"\", 0}";
  for (int p = 0; p < 4; ++p) {
    const std::string record = "{\"" + std::string(names[p]) + "\", " + std::to_string(colors[p]) + "}";
    expected.push_back("ktGetProtocolCondition(" + std::to_string(p + 1) + ", " + previous + ")");
    previous = record;
    expected.push_back("ktAddPredictor(" + record + ")");
    expected.push_back("ktSetPredictorValuesFromCondition(" + record + ", " +
                       std::to_string(p + 1) + ", 1.000000)");
    expected.push_back("ktApplyTwoGammaHRFToPredictor(" + std::to_string(p) + ")");
  }
  expected.push_back("ktSaveSingleStudyGLMDesignMatrix(\"S1_G1_Study.rtc\")");
  EXPECT_EQ(host.callsFrom("ktLoadProtocol").size(), expected.size() + 1);
  EXPECT_EQ(std::vector<std::string>(host.calls().end() - static_cast<long>(expected.size()),
                                     host.calls().end()),
            expected);
  EXPECT_THAT(predictorNames(host), ElementsAre("Easy x Left", "Hard x Left", "Easy x Right",
                                                "Hard x Right"));
}

TEST(DesignMatrixStep, WithoutRestsPredictorPIsConditionP) {
  auto design = emptyDesign();
  addWithinFactor(*design, {{"A"}, {"B"}, {"C"}});
  complete(*design);
  RecordingHost host;
  ASSERT_TRUE(buildSubjectProtocol(*design, "x.prt"));
  EXPECT_EQ(buildSubjectDesignMatrix(*design, "x.rtc"), 3);
  std::vector<std::string> conditions;
  for (const std::string& call : host.callsTo("ktSetPredictorValuesFromCondition"))
    conditions.push_back(call.substr(call.find("}, ") + 3));
  EXPECT_THAT(conditions, ElementsAre("0, 1.000000)", "1, 1.000000)", "2, 1.000000)"));
  EXPECT_THAT(host.callsTo("ktApplyTwoGammaHRFToPredictor"),
              ElementsAre("ktApplyTwoGammaHRFToPredictor(0)", "ktApplyTwoGammaHRFToPredictor(1)",
                          "ktApplyTwoGammaHRFToPredictor(2)"));
  EXPECT_THAT(predictorNames(host), ElementsAre("A", "B", "C"));
}

TEST(DesignMatrixStep, ProtocolHeaderNamesTheSubjectsFileAndTheExperiment) {
  auto design = twoByTwo(true);
  complete(*design);
  RecordingHost host;
  ASSERT_TRUE(buildSubjectProtocol(*design, "S3_G1_Study.prt"));
  const host::ProtocolDocument& protocol = host.session().protocol();
  EXPECT_EQ(protocol.experimentName, "Study");
  EXPECT_EQ(protocol.timeResolution, 1);
  EXPECT_EQ(protocol.conditions.size(), 5u);
  EXPECT_TRUE(std::filesystem::exists(host.outputFolder() / "S3_G1_Study.prt"));
  EXPECT_THAT(host.session().hostMessages(), ::testing::IsEmpty());
}

}  // namespace
}  // namespace cohortix::testing
