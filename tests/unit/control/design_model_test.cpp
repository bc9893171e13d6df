// The facts the run takes from a design: the cell order, the derived counts, the
// condition names and colours, the output names and the VTC's geometry.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "control/cell_index.h"
#include "control/condition_names.h"
#include "control/derived_counts.h"
#include "control/output_names.h"
#include "control/vtc_geometry.h"
#include "host/io/disk_interface.h"
#include "tests/support/control_fixtures.h"

namespace cohortix::testing {
namespace {

void setLevels(SimulationDesign& design, std::initializer_list<int32_t> counts) {
  design.NrOfWithinFactors = static_cast<int32_t>(counts.size());
  int f = 0;
  for (int32_t count : counts) design.WithinFactors[f++].NrOfLevels = count;
}

void nameLevel(SimulationDesign& design, int f, int l, const char* name, int r, int g, int b) {
  DesignLevel& level = design.WithinFactors[f].Levels[l];
  std::strcpy(level.LevelName, name);
  level.ColorR = r;
  level.ColorG = g;
  level.ColorB = b;
}

TEST(CellIndex, FirstFactorVariesFastestBothWays) {
  auto design = emptyDesign();
  setLevels(*design, {2, 3});
  EXPECT_EQ(cellLevels(*design, 3).Level[0], 1);
  EXPECT_EQ(cellLevels(*design, 3).Level[1], 1);
  EXPECT_EQ(cellLevels(*design, 4).Level[0], 0);
  EXPECT_EQ(cellLevels(*design, 4).Level[1], 2);
  setLevels(*design, {2, 2, 2});
  const CellLevels five = cellLevels(*design, 5);
  EXPECT_EQ(five.Level[0], 1);
  EXPECT_EQ(five.Level[1], 0);
  EXPECT_EQ(five.Level[2], 1);
  setLevels(*design, {3, 4, 5});
  for (int32_t cell = 0; cell < 60; ++cell)
    EXPECT_EQ(cellIndex(*design, cellLevels(*design, cell)), cell);
}

TEST(CellIndex, BaselineShiftsTheTrialConditionsByOne) {
  auto design = emptyDesign();
  EXPECT_EQ(FirstTrialCondition(*design), 0);
  EXPECT_EQ(conditionOfCell(*design, 3), 3);
  design->HasRestPeriods = true;
  EXPECT_EQ(FirstTrialCondition(*design), 1);
  EXPECT_EQ(conditionOfCell(*design, 3), 4);
  EXPECT_EQ(cellOfCondition(*design, 4), 3);
}

TEST(CellIndex, SubjectsAreNumberedOnAcrossGroupsAndFindTheirEffectRow) {
  auto design = emptyDesign();
  design->NrOfSubjectsPerGroup = 5;
  EXPECT_EQ(groupNumber(1), 2);
  EXPECT_EQ(subjectNumber(*design, 1, 2), 8);
  EXPECT_EQ(effectRow(*design, 1, 2), 7);
  design->EffectsPerGroup = true;
  EXPECT_EQ(effectRow(*design, 1, 2), 1);
}

TEST(DerivedCounts, FollowTheTimelineOfOneRun) {
  auto design = emptyDesign();
  setLevels(*design, {2, 2});
  design->NrOfBetweenFactors = 1;
  design->BetweenFactors[0].NrOfLevels = 2;
  design->NrOfSubjectsPerGroup = 5;
  design->NrOfTrialsPerCondition = 3;
  design->TrialDuration = 6;
  design->HasRestPeriods = true;
  design->RestDuration = 10;
  design->NrOfPreVolumes = 4;
  design->NrOfPostVolumes = 6;
  computeDerivedCounts(*design);
  EXPECT_EQ(design->NrOfVolumes, 212);
  EXPECT_EQ(design->NrOfEffectRows, 10);
  design->NrOfTrialsPerCondition = 0;
  computeDerivedCounts(*design);
  EXPECT_EQ(design->NrOfTrials, 0);
  EXPECT_EQ(design->NrOfVolumes, 4 + 10 + 6);
  design->NrOfBetweenFactors = 0;
  design->EffectsPerGroup = true;
  setLevels(*design, {2, 0});
  computeDerivedCounts(*design);
  EXPECT_EQ(design->NrOfGroups, 1);
  EXPECT_EQ(design->NrOfEffectRows, 1);
  EXPECT_EQ(design->NrOfWithinCells, 0);
}

TEST(DerivedCounts, WideCountsShowOverflowInsteadOfWrapping) {
  auto design = emptyDesign();
  setLevels(*design, {10, 10});
  design->NrOfTrialsPerCondition = 2147483647;
  design->TrialDuration = 2147483647;
  const WideCounts counts = wideDerivedCounts(*design);
  EXPECT_EQ(counts.NrOfTrials, 214748364700);
  EXPECT_GT(counts.NrOfVolumes, int64_t{2147483647});
}

TEST(ConditionNames, JoinLevelsAndCapSummedColoursFromAbove) {
  auto design = emptyDesign();
  setLevels(*design, {2, 2});
  nameLevel(*design, 0, 0, "A1", 200, 0, 0);
  nameLevel(*design, 0, 1, "A2", 0, 0, -300);
  nameLevel(*design, 1, 0, "B1", 100, 50, 0);
  nameLevel(*design, 1, 1, "B2", 0, 0, 0);
  const char* names[] = {"A1 x B1", "A2 x B1", "A1 x B2", "A2 x B2"};
  for (int cell = 0; cell < 4; ++cell) EXPECT_EQ(conditionName(*design, cell), names[cell]);
  EXPECT_EQ(packedCellColor(*design, 0), 16724480);
  EXPECT_EQ(packedCellColor(*design, 3), -300);  // a negative sum is packed unchanged
  setLevels(*design, {2});
  nameLevel(*design, 0, 0, "Loud", 300, 0, 0);
  EXPECT_EQ(conditionName(*design, 0), "Loud");
  EXPECT_EQ(packedCellColor(*design, 0), 19660800);  // one factor: as read, no cap
}

TEST(OutputNames, JoinSubjectGroupExperimentAndExtension) {
  auto design = emptyDesign();
  std::strcpy(design->ExperimentName, "Study");
  design->NrOfBetweenFactors = 1;
  design->BetweenFactors[0].NrOfLevels = 2;
  design->NrOfSubjectsPerGroup = 3;
  EXPECT_EQ(outputFileName(*design, 1, 0, kProtocolExtension), "S4_G2_Study.prt");
  EXPECT_EQ(outputFileName(*design, 0, 2, kVolumeTimeCourseExtension), "S3_G1_Study.vtc");
  EXPECT_EQ(longestOutputName(*design), "S6_G2_Study.prt");
  design->NrOfSubjectsPerGroup = 0;
  EXPECT_EQ(longestOutputName(*design), "");
  EXPECT_EQ(maxOutputNameBytes(), 239u);
  // Names are limited so that the host's temporary names are still one name.
  static_assert(host::kTemporaryNameExtraBytes <= kMaxTemporarySuffixBytes);
}

TEST(OutputNames, ExperimentNamesMustBePlainFileNames) {
  for (const char* good : {"Study", "Sim A", "", "...", "a.b", "caf\xc3\xa9"})
    EXPECT_EQ(experimentNameProblem(good), nullptr) << good;
  for (const char* bad : {".", "..", "a/b", "a\\b", "c:", "*", "?", "\"", "<", ">", "|",
                          "tab\there", "line\nbreak", "del\x7f"})
    EXPECT_NE(experimentNameProblem(bad), nullptr) << bad;
}

TEST(VTCGeometry, DimensionsTruncateAndCentresRoundHalfUp) {
  const VTCBox box{60, 181, 40, 160, 50, 170, 3};
  const VTCDims dims = vtcDims(box);
  EXPECT_EQ(dims.DimX, 40);
  EXPECT_EQ(dims.DimY, 40);
  EXPECT_EQ(dims.DimZ, 40);
  EffectRegion region;
  region.TalX = 10;
  region.TalY = -20;
  region.TalZ = 30;
  const VoxelIndex centre = regionCentreVoxel(region, box);
  EXPECT_EQ(centre.X, 29);
  EXPECT_EQ(centre.Y, 19);
  EXPECT_EQ(centre.Z, 23);
  EXPECT_EQ(vtcCentreIndex(127, 0, 2), 1);  // 0.5 rounds up
  EXPECT_EQ(vtcCentreIndex(129, 0, 2), 0);  // -0.5 rounds up to 0
  EXPECT_EQ(vtcValueCount({-4, 10, 10}, 100), 0);
  EXPECT_EQ(vtcValueCount({40, 40, 40}, 0), 64000);
}

}  // namespace
}  // namespace cohortix::testing
