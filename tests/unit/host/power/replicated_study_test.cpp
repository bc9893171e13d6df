// The study a power analysis simulates for one sample size, and what it is scored
// against: replicates are the subjects that follow in the stream, each subject of
// a replicate keeps the effect row of its place in the sample, and the truth's
// regions are the asked spheres clipped to the box, with no false positive
// counted where any subject's jittered sphere could reach.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "control/cell_index.h"
#include "host/io/disk_interface.h"
#include "host/power/power_tally.h"
#include "host/analysis/asked_regions.h"
#include "host/power/replicated_study.h"
#include "tests/support/scratch_folder.h"

namespace cohortix::host {
namespace {

using cohortix::testing::ScratchFolder;

// Two groups of 3 subjects, effect rows per subject (row = 10 g + s + 1 in cell 1),
// one region near the box's corner (centre voxel 0, 0, 0) and one inside it.
constexpr char kStudy[] = R"(Version: 1
WithinFactors: 1
BetweenFactors: 1
Reserved: 0
Name: "Rows"
Factor: "Stimulus"
Levels: 2
Level: 1 1 1 "A"
Level: 2 2 2 "B"
Factor: "Group"
Levels: 2
Level: 0 0 0 "One"
Level: 0 0 0 "Two"
Balanced: Y
Rest: N
SubjectsPerGroup: 3
Reserved: 0
TrialVolumes: 2
TrialsPerCondition: 2
PreVolumes: 2
PostVolumes: 2
BoxZ: 98 128
BoxX: 98 128
BoxY: 98 128
Resolution: 3
HeaderCode: 1
MeanBaseline: 1000
BaselineSDSubjects: 0
BaselineSDVoxels: 0
NoisePercent: 1
Regions: 2
Center: 30 30 30
Center: 15 15 15
Radius: 1
Radius: 1.5
CenterSD: 0
CenterSD: 0.5
EffectRows: S
Flag: P
Region1: 1 0
2 0
3 0
11 0
12 0
13 0
Region2: 0 1
0 1
0 1
0 1
0 1
0 1
)";

TEST(ReplicatedStudy, ReplicatesFollowInTheStreamAndKeepTheirSamplesEffectRows) {
  ScratchFolder folder;
  std::ofstream(folder / "rows.cxd") << kStudy;
  RealDiskInterface disk;
  std::filesystem::create_directories(folder / "expanded");
  Result<ReplicatedStudy> study = replicateStudy(folder / "rows.cxd", 4, 5, folder / "expanded", disk);
  ASSERT_TRUE(study) << study.status().message();
  const SimulationDesign& design = *study.value().design;
  EXPECT_EQ(design.NrOfSubjectsPerGroup, 20);
  EXPECT_EQ(design.NrOfEffectRows, 40);
  for (int32_t g = 0; g < 2; ++g)
    for (int32_t s = 0; s < 20; ++s)  // subject i of every replicate: the base's row i mod 3
      EXPECT_EQ(design.EffectTable[0][effectRow(design, g, s)][0], 10 * g + (s % 4) % 3 + 1)
          << "group " << g << ", subject " << s;
  EXPECT_EQ(study.value().controlFile.parent_path(), folder / "expanded");

  // Rows per subject beyond the table's capacity: refused with what to do instead.
  Result<ReplicatedStudy> tooMany = replicateStudy(folder / "rows.cxd", 10, 6, folder / "expanded", disk);
  ASSERT_FALSE(tooMany);
  EXPECT_NE(tooMany.status().message().find("at most 100 effect rows"), std::string::npos);
  EXPECT_NE(tooMany.status().message().find("EffectRows: Group"), std::string::npos);

  // The truth of 4-subject samples: spheres clipped to the box, the later region's
  // means per group, and no null voxel within reach of the moved sphere.
  const AskedRegions truth(design, 4);
  EXPECT_EQ(truth.regionVoxels(0).size(), 4u);  // the corner's octant of 7 voxels
  EXPECT_EQ(truth.regionVoxels(1).size(), 19u);
  const Effect cellA{"A", {1.0, 0.0}, true};
  EXPECT_DOUBLE_EQ(truth.trueEffect(0, cellA, 0), (1 + 2 + 3 + 1) / 4.0);
  EXPECT_DOUBLE_EQ(truth.trueEffect(0, cellA, 1), (11 + 12 + 13 + 11) / 4.0);
  EXPECT_DOUBLE_EQ(truth.trueEffect(0, cellA, -1), (1.75 + 11.75) / 2);
  const std::vector<uint8_t>& null = truth.nullVoxels();
  for (int64_t v : truth.regionVoxels(1)) EXPECT_EQ(null[static_cast<std::size_t>(v)], 0);
  // Region 2's centre (voxel 5, 5, 5) moves by at most 2 voxels per axis (four
  // SDs): its sphere reaches 1.5 + 2 sqrt 3 = 4.96 voxels, so the voxel 4 away
  // along x may be active, the one 5 away not.
  const auto number = [](int x, int y, int z) { return static_cast<std::size_t>((z * 10 + y) * 10 + x); };
  EXPECT_EQ(null[number(9, 5, 5)], 0);
  EXPECT_EQ(null[number(5, 5, 5) - 5 + 0], 1);  // voxel 0, 5, 5: 5 voxels away
}

TEST(PowerTally, WilsonIntervalsMatchTheScoreFormula) {
  // Values from the score interval's closed form (z = 1.959964).
  const Estimate eight = wilsonInterval(8, 10);
  EXPECT_NEAR(eight.low, 0.4901625, 1e-6);
  EXPECT_NEAR(eight.high, 0.9433178, 1e-6);
  const Estimate none = wilsonInterval(0, 200);
  EXPECT_DOUBLE_EQ(none.low, 0.0);
  EXPECT_NEAR(none.high, 0.0188453, 1e-6);
  MeanTally shares;
  for (double value : {0.1, 0.3, std::nan(""), 0.2}) shares.add(value);
  EXPECT_NEAR(shares.estimate().value, 0.2, 1e-12);
  EXPECT_NEAR(shares.estimate().high - 0.2, 1.959964 * 0.1 / std::sqrt(3.0), 1e-6);
}

}  // namespace
}  // namespace cohortix::host
