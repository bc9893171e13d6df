// Warnings of an analysis that cannot work: relabellings that cannot reach alpha,
// a high-pass filter that takes the design's own frequencies, drifts that take
// the degrees of freedom.

#include "host/analysis/analysis_warnings.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

namespace cohortix::host {
namespace {

using ::testing::HasSubstr;

TEST(AnalysisWarnings, RelabellingsThatCannotReachAlphaAreNamedPerTest) {
  AnalysisOptions options;
  options.correction = Correction::Fwe;
  const std::vector<std::string> names{"G1", "G2"};
  // 2 + 2 subjects: 16 sign flips over all (p >= 0.0625), 4 per group, 6 splits.
  const std::vector<std::string> few = relabellingWarnings({2, 2}, names, options);
  ASSERT_EQ(few.size(), 4u);
  EXPECT_THAT(few[0], HasSubstr("16 relabellings reach p = 0.0625"));
  EXPECT_THAT(few[3], HasSubstr("between G1 and G2: 6 relabellings reach p = 0.167"));
  EXPECT_TRUE(relabellingWarnings({8, 8}, names, options).empty());
  options.alpha = 0.1;
  EXPECT_EQ(relabellingWarnings({2, 2}, names, options).size(), 3u);
  options.correction = Correction::Fdr;
  EXPECT_TRUE(relabellingWarnings({2, 2}, names, options).empty());
}

TEST(AnalysisWarnings, AHighPassBelowTheTrialSpacingTakesTheDesign) {
  // Blocks of 20 s on, 20 s off at TR 2 s: the design's frequency is 1 / 40 s.
  const int32_t volumes = 200;
  Predictor blocks{"Blocks", {}};
  for (int32_t t = 0; t < volumes; ++t) blocks.values.push_back((t / 10) % 2 == 0 ? 1.0f : 0.0f);
  FirstLevelOptions options;
  options.highpassSeconds = 128.0;
  EXPECT_TRUE(firstLevelWarnings({blocks}, volumes, 2.0, options).empty());
  // At 20 s the fundamental (40 s) lies below the cutoff: 8 / pi^2 of a square
  // wave's power goes with it; at 10 s the third harmonic (13.3 s) too, 1/9 of that
  // again, and 80 drifts take more than a quarter of the volumes.
  options.highpassSeconds = 20.0;
  std::vector<std::string> lines = firstLevelWarnings({blocks}, volumes, 2.0, options);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_THAT(lines[0], HasSubstr("of the variance of Blocks"));
  const auto kept = [](const std::string& line) { return std::stod(line.substr(line.find("keeps ") + 6)); };
  EXPECT_NEAR(kept(lines[0]), 1.0 - 8.0 / (M_PI * M_PI), 0.03);
  options.highpassSeconds = 10.0;
  lines = firstLevelWarnings({blocks}, volumes, 2.0, options);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_THAT(lines[0], HasSubstr("--highpass 10 fits 80 drift regressors to 200 volumes"));
  EXPECT_NEAR(kept(lines[1]), 1.0 - 8.0 / (M_PI * M_PI) * (1.0 + 1.0 / 9.0), 0.03);
}

}  // namespace
}  // namespace cohortix::host
