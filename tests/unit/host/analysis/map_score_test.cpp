// Scoring a map against the truth: the counts and rates, each region of a label
// map, and the ROC curve, whose area must be the probability that a voxel with an
// effect outscores one without (ties counting half), computed here pair by pair.

#include "host/analysis/map_score.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace cohortix::host {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

TEST(MapScore, CountsRatesAndRegionsOfALabelMap) {
  //                             region 1 (label 1)   region 2    no effect
  const std::vector<float> truth{1, 1, 1, 1,          2, 2,       0, 0, 0, 0};
  const std::vector<float> map{5, -4, 0.5f, kNaN,     0, 0.2f,    3, -0.1f, 0, 0};
  ScoreOptions options;
  options.threshold = 1.0;
  const Result<MapScore> score = scoreMap(map, truth, options);
  ASSERT_TRUE(score.isOk());
  const MapScore& s = score.value();
  EXPECT_EQ(s.truePositives, 2);   // 5 and -4 pass |value| >= 1
  EXPECT_EQ(s.falseNegatives, 4);  // 0.5, NaN, 0, 0.2
  EXPECT_EQ(s.falsePositives, 1);  // 3
  EXPECT_EQ(s.trueNegatives, 3);
  EXPECT_DOUBLE_EQ(s.sensitivity, 2.0 / 6);
  EXPECT_DOUBLE_EQ(s.specificity, 3.0 / 4);
  EXPECT_DOUBLE_EQ(s.falseDiscoveryProportion, 1.0 / 3);
  EXPECT_DOUBLE_EQ(s.dice, 4.0 / 9);
  ASSERT_TRUE(s.labelled);
  ASSERT_EQ(s.regions.size(), 2u);
  EXPECT_EQ(s.regions[0].label, 1);
  EXPECT_EQ(s.regions[0].voxels, 4);
  EXPECT_EQ(s.regions[0].detectedVoxels, 2);
  EXPECT_FALSE(s.regions[1].detected());

  // Without a threshold the map reads as thresholded: not 0 is detected; with the
  // upper tail only positive values count.
  options.threshold.reset();
  options.tail = Tail::Upper;
  const MapScore upper = scoreMap(map, truth, options).value();
  EXPECT_EQ(upper.truePositives, 3);  // 5, 0.5, 0.2
  EXPECT_EQ(upper.falsePositives, 1);
  EXPECT_TRUE(upper.regions[1].detected());
}

TEST(MapScore, AreaUnderRocIsTheProbabilityThatAnEffectOutscoresNoEffect) {
  std::mt19937_64 random(3);
  std::normal_distribution<double> normal;
  std::vector<float> map(600);
  std::vector<float> truth(600);
  for (std::size_t v = 0; v < map.size(); ++v) {
    truth[v] = v % 4 == 0 ? 1.0f : 0.0f;
    // Rounded so that many scores tie.
    map[v] = static_cast<float>(std::round(2.0 * (normal(random) + truth[v])) / 2.0);
  }
  const MapScore score = scoreMap(map, truth, {std::nullopt, Tail::Upper}).value();
  double wins = 0.0;
  double pairs = 0.0;
  for (std::size_t i = 0; i < map.size(); ++i)
    for (std::size_t j = 0; j < map.size(); ++j)
      if (truth[i] != 0.0f && truth[j] == 0.0f) {
        wins += map[i] > map[j] ? 1.0 : (map[i] == map[j] ? 0.5 : 0.0);
        pairs += 1.0;
      }
  EXPECT_NEAR(score.areaUnderCurve, wins / pairs, 1e-12);
  ASSERT_GE(score.roc.size(), 3u);
  EXPECT_EQ(score.roc.front().falsePositiveRate, 0.0);
  EXPECT_EQ(score.roc.back().truePositiveRate, 1.0);
  for (std::size_t i = 1; i < score.roc.size(); ++i) {
    EXPECT_GE(score.roc[i].falsePositiveRate, score.roc[i - 1].falsePositiveRate);
    EXPECT_GE(score.roc[i].truePositiveRate, score.roc[i - 1].truePositiveRate);
    EXPECT_LT(score.roc[i].threshold, score.roc[i - 1].threshold);
  }
}

TEST(MapScore, RefusesMapsOfDifferentSizes) {
  const Result<MapScore> score = scoreMap(std::vector<float>(3), std::vector<float>(4), {});
  ASSERT_FALSE(score.isOk());
  EXPECT_EQ(score.status().message(), "the map has 3 voxels, the truth 4");
}

}  // namespace
}  // namespace cohortix::host
