// A subject's protocol as the host is asked to build it: header, named and
// coloured conditions, the drawn trial order laid out in time, save and reload.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "simulation/protocol_step.h"
#include "simulation/random/random_sources.h"
#include "tests/support/recording_host.h"
#include "tests/support/test_designs.h"

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

namespace cohortix::testing {
namespace {

std::string interval(int condition, int first, int last) {
  return "ktAddProtocolConditionInterval(" + std::to_string(condition) + ", " +
         std::to_string(first) + ", " + std::to_string(last) + ")";
}

std::string condition(const std::string& name, int color) {
  return "ktAddProtocolCondition({\"" + name + "\", " + std::to_string(color) + "})";
}

std::unique_ptr<SimulationDesign> twoCellsWithRests() {
  auto design = emptyDesign("Study");
  addWithinFactor(*design, {{"Easy", 255, 0, 0}, {"Hard", 0, 0, 255}});
  design->HasRestPeriods = true;
  design->RestDuration = 5;
  design->NrOfTrialsPerCondition = 2;
  design->TrialDuration = 10;
  design->NrOfPreVolumes = 3;
  complete(*design);
  return design;
}

// The cells in the order randomPermutation gives them after srand(seed).
std::vector<int32_t> expectedTrialCells(unsigned seed, int32_t trials, int32_t perCondition) {
  std::srand(seed);
  std::vector<int32_t> order(static_cast<std::size_t>(trials));
  randomPermutation(trials, order.data());
  for (int32_t& entry : order) entry /= perCondition;
  return order;
}

TEST(ProtocolStep, TwoCellsWithRestsGetHeaderConditionsIntervalsThenSaveAndReload) {
  const auto design = twoCellsWithRests();
  const std::vector<int32_t> cells = expectedTrialCells(11, 4, 2);
  RecordingHost host;
  std::srand(11);
  ASSERT_TRUE(buildSubjectProtocol(*design, "S1_G1_Study.prt"));
  std::vector<std::string> expected = {
      "ktClearProtocol()", "ktGetProtocol(&)", "ktSetProtocol(&)",
      condition("Baseline", 6579300), condition("Easy", 16711680), condition("Hard", 255),
      interval(0, 4, 8)};
  const int trialStarts[] = {9, 24, 39, 54};
  for (int k = 0; k < 4; ++k) {
    expected.push_back(interval(cells[k] + 1, trialStarts[k], trialStarts[k] + 9));
    expected.push_back(interval(0, trialStarts[k] + 10, trialStarts[k] + 14));
  }
  expected.push_back("ktSaveProtocol(\"S1_G1_Study.prt\")");
  expected.push_back("ktLoadProtocol(\"S1_G1_Study.prt\")");
  EXPECT_THAT(host.calls(), ElementsAreArray(expected));
}

TEST(ProtocolStep, EveryCellOccursTrialsPerConditionTimesInAFreshOrderPerSubject) {
  auto design = emptyDesign();
  addWithinFactor(*design, {{"A", 0, 0, 0}, {"B", 0, 0, 0}, {"C", 0, 0, 0}});
  design->NrOfTrialsPerCondition = 5;
  complete(*design);
  RecordingHost host;
  std::srand(3);
  ASSERT_TRUE(buildSubjectProtocol(*design, "a.prt"));
  ASSERT_TRUE(buildSubjectProtocol(*design, "b.prt"));
  const std::vector<std::string> intervals = host.callsTo("ktAddProtocolConditionInterval");
  ASSERT_EQ(intervals.size(), 30u);
  std::vector<std::string> first(intervals.begin(), intervals.begin() + 15);
  std::vector<std::string> second(intervals.begin() + 15, intervals.end());
  EXPECT_NE(first, second);
  for (const auto& run : {first, second})
    for (int cell = 0; cell < 3; ++cell) {
      const std::string prefix = "ktAddProtocolConditionInterval(" + std::to_string(cell) + ",";
      EXPECT_EQ(std::count_if(run.begin(), run.end(),
                              [&](const std::string& c) { return c.rfind(prefix, 0) == 0; }),
                5);
    }
}

TEST(ProtocolStep, WithoutRestsTrialsStartAtVolumeOneOnTheirCellsCondition) {
  auto design = emptyDesign();
  addWithinFactor(*design, {{"A", 0, 0, 0}, {"B", 0, 0, 0}});
  design->TrialDuration = 3;
  complete(*design);
  const std::vector<int32_t> cells = expectedTrialCells(5, 2, 1);
  RecordingHost host;
  std::srand(5);
  ASSERT_TRUE(buildSubjectProtocol(*design, "S1_G1_Study.prt"));
  EXPECT_THAT(host.callsTo("ktAddProtocolCondition"),
              ElementsAre(condition("A", 0), condition("B", 0)));
  EXPECT_THAT(host.callsTo("ktAddProtocolConditionInterval"),
              ElementsAre(interval(cells[0], 1, 3), interval(cells[1], 4, 6)));
}

TEST(ProtocolStep, ConditionsAreNamedAndColouredInCellOrder) {
  auto design = emptyDesign();
  addWithinFactor(*design, {{"A1", 200, 0, 0}, {"A2", 0, 0, 10}});
  addWithinFactor(*design, {{"B1", 100, 50, 0}, {"B2", -20, 300, 0}});
  complete(*design);
  RecordingHost host;
  ASSERT_TRUE(buildSubjectProtocol(*design, "x.prt"));
  EXPECT_THAT(host.callsTo("ktAddProtocolCondition"),
              ElementsAre(condition("A1 x B1", 16724480), condition("A2 x B1", 100 * 65536 + 50 * 256 + 10),
                          condition("A1 x B2", 180 * 65536 + 255 * 256),
                          condition("A2 x B2", -20 * 65536 + 255 * 256 + 10)));

  auto single = emptyDesign();
  addWithinFactor(*single, {{"Loud", 300, 0, 0}});
  complete(*single);
  RecordingHost other;
  ASSERT_TRUE(buildSubjectProtocol(*single, "y.prt"));
  EXPECT_THAT(other.callsTo("ktAddProtocolCondition"), ElementsAre(condition("Loud", 19660800)));
}

TEST(ProtocolStep, ThreeFactorsNameLevelsFactorOneFirstAndVaryItFastest) {
  auto design = emptyDesign();
  addWithinFactor(*design, {{"a1"}, {"a2"}});
  addWithinFactor(*design, {{"b1"}, {"b2"}});
  addWithinFactor(*design, {{"c1"}, {"c2"}});
  design->NrOfTrialsPerCondition = 0;
  complete(*design);
  RecordingHost host;
  ASSERT_TRUE(buildSubjectProtocol(*design, "x.prt"));
  const std::vector<std::string> conditions = host.callsTo("ktAddProtocolCondition");
  ASSERT_EQ(conditions.size(), 8u);
  EXPECT_EQ(conditions[0], condition("a1 x b1 x c1", 0));
  EXPECT_EQ(conditions[5], condition("a2 x b1 x c2", 0));
  EXPECT_EQ(conditions[7], condition("a2 x b2 x c2", 0));
  EXPECT_THAT(host.callsTo("ktAddProtocolConditionInterval"), IsEmpty());
}

TEST(ProtocolStep, NoTrialsDrawNothingAndLeaveOneBaselineInterval) {
  auto design = emptyDesign();
  addWithinFactor(*design, {{"A"}});
  design->HasRestPeriods = true;
  design->RestDuration = 0;
  design->NrOfTrialsPerCondition = 0;
  design->NrOfPreVolumes = 7;
  complete(*design);
  RecordingHost host;
  std::srand(9);
  const int next = std::rand();
  std::srand(9);
  ASSERT_TRUE(buildSubjectProtocol(*design, "x.prt"));
  EXPECT_EQ(std::rand(), next);
  // A rest of 0 volumes still goes to the host, its last volume one below its first.
  EXPECT_THAT(host.callsTo("ktAddProtocolConditionInterval"), ElementsAre(interval(0, 8, 7)));
}

TEST(ProtocolStep, MoreThanAHundredTrialsAreAllLaidOut) {
  auto design = emptyDesign();
  addWithinFactor(*design, {{"A"}, {"B"}, {"C"}});
  design->NrOfTrialsPerCondition = 70;
  complete(*design);
  RecordingHost host;
  ASSERT_TRUE(buildSubjectProtocol(*design, "x.prt"));
  const std::vector<std::string> intervals = host.callsTo("ktAddProtocolConditionInterval");
  ASSERT_EQ(intervals.size(), 210u);
  EXPECT_EQ(intervals.back().substr(intervals.back().find(',')), ", 210, 210)");
}

TEST(ProtocolStep, UnsupportedDesignStopsTheCursorAndSavesNothing) {
  for (int factors : {0, -1}) {
    auto design = emptyDesign();
    design->NrOfWithinFactors = factors;
    design->HasRestPeriods = true;
    design->RestDuration = 4;
    complete(*design);
    RecordingHost host;
    EXPECT_FALSE(buildSubjectProtocol(*design, "x.prt"));
    EXPECT_THAT(host.calls(),
                ElementsAre("ktClearProtocol()", "ktGetProtocol(&)", "ktSetProtocol(&)",
                            condition("Baseline", 6579300), "ktStopBusyCursor()",
                            "ktMessageBox(\"Unsupported design. Only designs with 1, 2 or 3 "
                            "within factors supported.\")"));
  }
}

}  // namespace
}  // namespace cohortix::testing
