// Each component of the noise model, alone and mixed, made with known parameters
// and read back by the estimators.

#include <gtest/gtest.h>

#include <cmath>

#include "host/noise/noise_forecast.h"
#include "tests/unit/host/noise/noise_test_data.h"

namespace cohortix::host::noise {
namespace {

using testing::measure;
using testing::prepared;
using testing::simulate;
using testing::simulateAndMeasure;
using testing::testGeometry;

NoiseComponents randomNoise(double level, double systemShare, std::vector<double> ar, double fwhmMm) {
  NoiseComponents c;
  c.noise = {level, systemShare, SystemNoise::Gaussian, std::move(ar), fwhmMm};
  return c;
}

TEST(NoiseRecovery, AutocorrelationAndTemporalSnrAreReadAsAsked) {
  for (const double rho : {-0.2, 0.45, 0.7}) {
    SCOPED_TRACE(rho);
    const NoiseStatistics s = simulateAndMeasure(randomNoise(1.25, 0.0, {rho}, 0.0));
    EXPECT_NEAR(s.ar1, rho, 0.02);
    // The high-pass takes some of the slow variance of a positively correlated series.
    const double expected = forecastStatistics(randomNoise(1.25, 0.0, {rho}, 0.0), testGeometry()).tsnr;
    EXPECT_NEAR(s.tsnr, expected, 0.05 * expected);
  }
  const NoiseStatistics white = simulateAndMeasure(randomNoise(1.25, 1.0, {}, 0.0));
  EXPECT_NEAR(white.tsnr, 80.0, 0.05 * 80.0);
  EXPECT_NEAR(white.ar1, 0.0, 0.02);
  EXPECT_TRUE(white.periodic.empty());
}

TEST(NoiseRecovery, SmoothnessIsReadAsAskedAlongEveryAxis) {
  struct Case {
    double fwhmMm;
    std::array<double, 3> voxelMm;
  };
  for (const Case& c : {Case{6.0, {3.0, 3.0, 3.0}}, Case{9.0, {3.0, 3.0, 3.0}}, Case{8.0, {2.5, 3.0, 4.0}}}) {
    SCOPED_TRACE(c.fwhmMm);
    NoiseGeometry geometry = testGeometry();
    geometry.voxelMm = c.voxelMm;
    const NoiseStatistics s = simulateAndMeasure(randomNoise(1.0, 0.0, {0.3}, c.fwhmMm), geometry);
    for (int axis = 0; axis < 3; ++axis) EXPECT_NEAR(s.fwhmMm[axis], c.fwhmMm, 0.05 * c.fwhmMm) << axis;
    // Smoothing keeps the variance asked for.
    EXPECT_NEAR(s.residualPercent, forecastStatistics(randomNoise(1.0, 0.0, {0.3}, 0.0), geometry).residualPercent,
                0.05);
    EXPECT_NEAR(s.ar1, 0.3, 0.02);
  }
}

TEST(NoiseRecovery, DriftIsReadAboveTheNoiseItLeaksInto) {
  for (const std::vector<double>& ar : {std::vector<double>{}, {0.5}}) {
    NoiseComponents c = randomNoise(1.25, 0.0, ar, 0.0);
    c.drift = {1.0, 128.0};
    EXPECT_NEAR(simulateAndMeasure(c).driftPercent, 1.0, 0.1) << ar.size();
  }
  // Strongly autocorrelated noise alone puts much on the cosine basis; all of it
  // is taken off again.
  EXPECT_LT(simulateAndMeasure(randomNoise(1.25, 0.0, {0.5}, 0.0)).driftPercent, 0.15);
}

TEST(NoiseRecovery, RhythmsAppearAtTheirAliasedFrequencyWithTheirAmplitude) {
  NoiseComponents c = randomNoise(1.0, 1.0, {}, 0.0);
  c.rhythms = {{"cardiac", 1.17, 0.6, 3.0}, {"respiratory", 0.28, 0.8, 3.0}};
  const NoiseStatistics s = simulateAndMeasure(c);
  ASSERT_EQ(s.periodic.size(), 2u);
  const double bin = 1.0 / (200 * 2.0);
  EXPECT_NEAR(s.periodic[0].frequencyHz, 0.22, bin);  // 0.5 Hz sampling folds 0.28 onto 0.22
  EXPECT_NEAR(s.periodic[0].amplitudePercent, 0.8, 0.08);
  EXPECT_NEAR(s.periodic[1].frequencyHz, 0.17, bin);  // and 1.17 onto 0.17
  EXPECT_NEAR(s.periodic[1].amplitudePercent, 0.6, 0.06);
  EXPECT_NEAR(aliasedFrequency(1.17, 2.0), 0.17, 1e-12);
}

TEST(NoiseRecovery, RicianSystemNoiseGivesItsLevelInTheBackground) {
  const NoiseGeometry geometry = testGeometry();
  // A quarter of the box (the lowest slices) is background: no signal.
  std::vector<float> baseline(geometry.voxels(), testing::kTestBaseline);
  std::fill(baseline.begin(), baseline.begin() + geometry.voxels() / 4, 0.0f);
  NoiseComponents c = randomNoise(1.0, 1.0, {}, 0.0);
  c.noise.system = SystemNoise::Rician;
  const NoiseStatistics s = measure(geometry, simulate(prepared(c), {3, 0, 0}, baseline));
  // 1 % of the mean positive baseline, 1000 * 0.75 / 0.75.
  EXPECT_NEAR(s.backgroundLevel, 10.0, 0.05 * 10.0);
  EXPECT_NEAR(s.backgroundMeanRatio, std::sqrt(std::numbers::pi / 2.0), 0.02);
  EXPECT_EQ(s.backgroundVoxels, geometry.voxels() / 4);
  EXPECT_EQ(s.voxels, geometry.voxels() - geometry.voxels() / 4);
  EXPECT_NEAR(s.tsnr, 100.0, 5.0);
}

TEST(NoiseRecovery, AMixtureReadsAsItsForecast) {
  NoiseComponents c;
  c.noise = {1.3, 0.4, SystemNoise::Rician, {0.5}, 6.0};
  c.drift = {1.0, 128.0};
  c.rhythms = {{"cardiac", 1.17, 0.4, 10.0}, {"respiratory", 0.28, 0.5, 10.0}};
  c.global = {0.25, {0.8}};
  const NoiseStatistics s = simulateAndMeasure(c);
  testing::expectSameStatistics(s, forecastStatistics(c, testGeometry()));
}

}  // namespace
}  // namespace cohortix::host::noise
