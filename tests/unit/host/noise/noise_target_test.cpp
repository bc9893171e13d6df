// Target mode: profiles that state statistics, solved into components, make data
// that the estimators read back as stated; and the profile that noise-stats writes
// from measured data makes data that measure the same.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "host/noise/noise_forecast.h"
#include "host/noise/noise_profile_file.h"
#include "host/noise/noise_target.h"
#include "tests/unit/host/noise/noise_test_data.h"

namespace cohortix::host::noise {
namespace {

using testing::measure;
using testing::simulate;
using testing::testGeometry;

NoiseProfile bundledProfile(const std::string& name) {
  const auto file = std::filesystem::path(COHORTIX_SOURCE_DIR) / "examples" / "noise" / name;
  Result<NoiseProfile> profile = readNoiseProfile(file);
  EXPECT_TRUE(profile) << profile.status().message();
  return profile.value();
}

TEST(NoiseTarget, TheBundled3TProfileIsMeasuredAsItStates) {
  const NoiseProfile profile = bundledProfile("3T-TR2-3mm.toml");
  ASSERT_TRUE(profile.target);
  const NoiseTarget& target = *profile.target;
  const Result<NoiseModel> model = NoiseModel::prepare(profile, testGeometry());
  ASSERT_TRUE(model) << model.status().message();
  const NoiseStatistics s = measure(testGeometry(), simulate(model.value(), {2024, 0, 1}));
  EXPECT_NEAR(s.tsnr, target.tsnr, 0.05 * target.tsnr);
  EXPECT_NEAR(s.ar1, target.ar1, 0.02);
  EXPECT_NEAR(s.fwhmMeanMm, target.fwhmMm, 0.05 * target.fwhmMm);
  const double drift = std::sqrt(target.driftShare) * 100.0 / target.tsnr;
  EXPECT_NEAR(s.driftPercent, drift, 0.1 * drift);
  ASSERT_EQ(s.periodic.size(), 2u);
  const double residual2 = (100.0 / target.tsnr) * (100.0 / target.tsnr);
  for (const RhythmTarget& rhythm : target.rhythms) {
    const double amplitude = std::sqrt(2.0 * rhythm.share * residual2);
    const double frequency = aliasedFrequency(rhythm.frequencyHz, 2.0);
    const auto& peak = std::abs(s.periodic[0].frequencyHz - frequency) < 0.01 ? s.periodic[0] : s.periodic[1];
    EXPECT_NEAR(peak.frequencyHz, frequency, 1.0 / 400) << rhythm.name;
    EXPECT_NEAR(peak.amplitudePercent, amplitude, 0.1 * amplitude) << rhythm.name;
  }
}

TEST(NoiseTarget, AProfileWrittenFromMeasuredDataReproducesItsStatistics) {
  NoiseComponents c;
  c.noise = {1.1, 0.1, SystemNoise::Gaussian, {0.6}, 7.0};
  c.drift = {0.8, 128.0};
  c.rhythms = {{"cardiac", 1.2, 0.5, 10.0}};
  c.global = {0.3, {0.7}};
  const NoiseStatistics first = measure(testGeometry(), simulate(testing::prepared(c), {1, 0, 1}));

  NoiseProfile written;
  written.target = targetOfStatistics(first, testGeometry());
  const Result<NoiseProfile> read = parseNoiseProfile(formatNoiseProfile(written, "measured"), "measured.toml");
  ASSERT_TRUE(read) << read.status().message();
  const Result<NoiseModel> model = NoiseModel::prepare(read.value(), testGeometry());
  ASSERT_TRUE(model) << model.status().message();
  const NoiseStatistics second = measure(testGeometry(), simulate(model.value(), {1, 1, 1}));
  testing::expectSameStatistics(second, first);
  EXPECT_NEAR(second.globalShare, first.globalShare, 0.5 * first.globalShare);
}

TEST(NoiseTarget, TargetsOutOfReachAreRefusedNamingTheStatistic) {
  const auto target = [](double ar1, double fwhmMm, double systemShare, double globalShare,
                         std::vector<RhythmTarget> rhythms = {}) {
    NoiseTarget t;
    t.tsnr = 80.0;
    t.ar1 = ar1;
    t.fwhmMm = fwhmMm;
    t.systemShare = systemShare;
    t.globalShare = globalShare;
    t.rhythms = std::move(rhythms);
    return t;
  };
  NoiseTarget noSignal = target(0.0, 0.0, 0.2, 0.0);
  noSignal.tsnr = 0.0;
  const struct {
    NoiseTarget target;
    const char* named;
  } cases[] = {
      {target(0.9, 0.0, 0.6, 0.0), "ar1 0.9 cannot be reached"},
      {target(0.2, 0.0, 1.0, 0.0), "ar1 0.2 cannot be reached"},
      {target(0.0, 9.0, 0.7, 0.0), "fwhm_mm 9 cannot be reached"},
      {target(0.35, 2.0, 0.2, 0.5), "fwhm_mm 2 is below"},
      {target(0.0, 0.0, 0.2, 0.5, {{"cardiac", 1.2, 0.6, 10.0}}), "add up to 1.1"},
      {noSignal, "expected a tsnr above 0"},
  };
  for (const auto& c : cases) {
    const Result<NoiseComponents> solved = solveTarget(c.target, testGeometry());
    ASSERT_FALSE(solved) << c.named;
    EXPECT_NE(solved.status().message().find(c.named), std::string::npos) << solved.status().message();
  }
}

}  // namespace
}  // namespace cohortix::host::noise
