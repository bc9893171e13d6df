// The analysis's error rates and power against theory, on subjects simulated here
// with a known design, noise and between-subject spread. Many independent voxels
// (or studies) make each observed rate a binomial proportion, so every tolerance is
// its sampling error: z standard errors, z chosen so that a correct analysis fails
// a whole run of these checks about once in a thousand runs.

#include <gtest/gtest.h>

#include <boost/math/distributions/normal.hpp>
#include <boost/math/distributions/students_t.hpp>
#include <cmath>
#include <random>
#include <vector>

#include "host/analysis/analytic_power.h"
#include "host/analysis/ar1_noise.h"
#include "host/analysis/first_level_fit.h"
#include "host/analysis/group_accumulator.h"
#include "host/analysis/group_tests.h"
#include "host/analysis/map_threshold.h"

namespace cohortix::host {
namespace {

// Two-sided normal quantile for a family of `checks` comparisons at overall 0.001.
double zFor(int checks) {
  return boost::math::quantile(boost::math::complement(boost::math::normal(), 0.0005 / checks));
}

void expectRateNear(double observed, double expected, int64_t trials, double z,
                    const std::string& what) {
  const double error = z * std::sqrt(expected * (1.0 - expected) / static_cast<double>(trials));
  EXPECT_NEAR(observed, expected, error) << what;
}

// Blocks of two conditions: A on for `on` volumes, rest, B on, rest; repeated.
std::vector<Predictor> blockDesign(int32_t volumes, int32_t on) {
  std::vector<Predictor> predictors{{"A", std::vector<float>(volumes)},
                                    {"B", std::vector<float>(volumes)}};
  for (int32_t t = 0; t < volumes; ++t) {
    const int32_t phase = t % (4 * on);
    predictors[0].values[t] = phase < on ? 1.0f : 0.0f;
    predictors[1].values[t] = phase >= 2 * on && phase < 3 * on ? 1.0f : 0.0f;
  }
  return predictors;
}

// Voxel-major series: baseline + the cells' betas (percent of the baseline) times
// the predictors + AR(1) noise of marginal SD noiseSD percent.
struct SubjectSimulation {
  std::vector<Predictor> predictors;
  double baseline = 100.0;
  double noiseSD = 2.0;
  double rho = 0.0;

  std::vector<float> series(int64_t voxels, const std::vector<std::vector<double>>& betas,
                            std::mt19937_64& random) const {
    const auto volumes = static_cast<int32_t>(predictors[0].values.size());
    std::normal_distribution<double> normal;
    std::vector<float> data(static_cast<std::size_t>(voxels * volumes));
    const double scale = baseline / 100.0;
    const double innovation = std::sqrt(1.0 - rho * rho);
    for (int64_t v = 0; v < voxels; ++v) {
      double noise = normal(random);
      for (int32_t t = 0; t < volumes; ++t) {
        if (t > 0) noise = rho * noise + innovation * normal(random);
        double signal = 0.0;
        for (std::size_t c = 0; c < predictors.size(); ++c)
          signal += betas[c][v] * predictors[c].values[t];
        data[v * volumes + t] = static_cast<float>(baseline + scale * (signal + noiseSD * noise));
      }
    }
    return data;
  }
};

int64_t rejections(const StatisticMap& map, double alpha) {
  return thresholdMap(map.p, map.df, Correction::None, alpha, Tail::Two).significant;
}

// The power of the one-sample group test at a voxel is the noncentral t's, and a
// cell without effect is rejected at the rate alpha: N = 10, 15, 20, 30 subjects of
// one design, each voxel a replicate with its own subject effects.
TEST(GroupErrorRatesAndPower, OneSamplePowerMatchesNoncentralTAndNullRateIsAlpha) {
  constexpr int64_t kVoxels = 10000;
  constexpr double kEffect = 0.5;       // percent, cell A; cell B has none
  constexpr double kBetweenSD = 0.5;    // percent
  const std::vector<int32_t> sizes{10, 15, 20, 30};
  const std::vector<double> alphas{0.05, 0.001};
  const double z = zFor(static_cast<int>(sizes.size() * (alphas.size() + 1)));

  SubjectSimulation simulation{blockDesign(100, 5)};
  const FirstLevelOptions options;
  const Result<LinearModel> model = firstLevelModel(simulation.predictors, 100, options);
  ASSERT_TRUE(model.isOk()) << model.status().message();
  const std::vector<double> cellA{1.0, 0.0};
  const double within = withinSubjectVariance(model.value(), cellA, {simulation.noiseSD, 0.0}, false);

  std::mt19937_64 random(20240611);
  std::normal_distribution<double> normal;
  GroupAccumulator group(kVoxels, 1, cellEffects({"A", "B"}));
  for (int32_t subject = 1; subject <= sizes.back(); ++subject) {
    std::vector<std::vector<double>> betas(2, std::vector<double>(kVoxels, 0.0));
    for (int64_t v = 0; v < kVoxels; ++v) {
      betas[0][v] = kEffect + kBetweenSD * normal(random);
      betas[1][v] = kBetweenSD * normal(random);
    }
    const std::vector<float> data = simulation.series(kVoxels, betas, random);
    const Result<FirstLevelFit> fit =
        fitFirstLevel({data.data(), kVoxels, 100}, simulation.predictors, options);
    ASSERT_TRUE(fit.isOk()) << fit.status().message();
    ASSERT_TRUE(group.add(0, fit.value()).isOk());
    if (std::find(sizes.begin(), sizes.end(), subject) == sizes.end()) continue;
    const StatisticMap effectMap = oneSampleT(group.moments(0, 0), group.mask(), Tail::Two);
    const StatisticMap nullMap = oneSampleT(group.moments(0, 1), group.mask(), Tail::Two);
    for (double alpha : alphas) {
      const double power = oneSampleGroupPower({kEffect, kBetweenSD, within, subject, alpha, Tail::Two});
      expectRateNear(static_cast<double>(rejections(effectMap, alpha)) / kVoxels, power, kVoxels, z,
                     "power, N = " + std::to_string(subject) + ", alpha " + std::to_string(alpha));
    }
    expectRateNear(static_cast<double>(rejections(nullMap, 0.05)) / kVoxels, 0.05, kVoxels, z,
                   "null rejections, N = " + std::to_string(subject));
  }
}

// Under the complete null, Bonferroni keeps the family-wise error rate at or below
// alpha, and so does the Benjamini-Hochberg procedure (when every hypothesis is
// null, any discovery is a family-wise error). Many small studies, group level.
TEST(GroupErrorRatesAndPower, CorrectionsKeepFamilyWiseErrorAtAlphaUnderTheNull) {
  constexpr int32_t kStudies = 2000;
  constexpr int32_t kSubjects = 8;
  constexpr int64_t kVoxels = 200;
  constexpr double kAlpha = 0.05;
  const double z = zFor(2);
  std::mt19937_64 random(7);
  std::normal_distribution<double> normal;
  GroupAccumulator group(kVoxels, 1, cellEffects({"A"}));
  FirstLevelFit fit;
  fit.cells = 1;
  fit.voxels = kVoxels;
  fit.mask.assign(kVoxels, 1);
  fit.betaPercent.resize(kVoxels);
  int32_t bonferroniErrors = 0;
  int32_t fdrErrors = 0;
  for (int32_t study = 0; study < kStudies; ++study) {
    group.reset();
    for (int32_t s = 0; s < kSubjects; ++s) {
      for (float& beta : fit.betaPercent) beta = static_cast<float>(normal(random));
      ASSERT_TRUE(group.add(0, fit).isOk());
    }
    const StatisticMap map = oneSampleT(group.moments(0, 0), group.mask(), Tail::Two);
    bonferroniErrors += thresholdMap(map.p, map.df, Correction::Bonferroni, kAlpha, Tail::Two).significant > 0;
    fdrErrors += thresholdMap(map.p, map.df, Correction::Fdr, kAlpha, Tail::Two).significant > 0;
  }
  const double bound = kAlpha + z * std::sqrt(kAlpha * (1.0 - kAlpha) / kStudies);
  EXPECT_LE(static_cast<double>(bonferroniErrors) / kStudies, bound);
  EXPECT_LE(static_cast<double>(fdrErrors) / kStudies, bound);
  // Bonferroni over independent voxels is not much below alpha either.
  const double exact = 1.0 - std::pow(1.0 - kAlpha / kVoxels, kVoxels);
  expectRateNear(static_cast<double>(bonferroniErrors) / kStudies, exact, kStudies, z,
                 "Bonferroni family-wise error rate");
}

// Ordinary least squares on AR(1) noise underestimates the betas' variance, so a
// first-level test rejects far more often than alpha; by as much as the variance
// ratio and the residuals' effective degrees of freedom predict. Prewhitening with
// the pooled, bias-corrected rho brings the rate back to alpha.
TEST(FirstLevelErrorRates, Ar1NoiseInflatesLeastSquaresAndPrewhiteningRestoresAlpha) {
  constexpr int64_t kVoxels = 20000;
  constexpr int32_t kVolumes = 200;
  constexpr double kRho = 0.4;
  constexpr double kAlpha = 0.05;
  const double z = zFor(2);
  SubjectSimulation simulation{blockDesign(kVolumes, 10)};
  simulation.rho = kRho;
  std::mt19937_64 random(99);
  const std::vector<std::vector<double>> none(2, std::vector<double>(kVoxels, 0.0));
  const std::vector<float> data = simulation.series(kVoxels, none, random);

  FirstLevelOptions options;
  const Result<FirstLevelFit> ols = fitFirstLevel({data.data(), kVoxels, kVolumes},
                                                  simulation.predictors, options);
  options.ar1 = true;
  const Result<FirstLevelFit> whitened = fitFirstLevel({data.data(), kVoxels, kVolumes},
                                                       simulation.predictors, options);
  ASSERT_TRUE(ols.isOk() && whitened.isOk());
  // The pooled estimate over 20000 voxels lies within a few hundredths of rho.
  EXPECT_NEAR(whitened.value().ar1, kRho, 0.01);

  const auto rate = [&](const FirstLevelFit& fit) {
    const boost::math::students_t_distribution<double> t(fit.residualDf);
    const double critical = boost::math::quantile(boost::math::complement(t, kAlpha / 2));
    int64_t count = 0;
    for (int64_t v = 0; v < kVoxels; ++v) count += std::fabs(fit.t[v]) > critical;  // cell A
    return static_cast<double>(count) / kVoxels;
  };
  // What least squares should show: its t is the true standard normal scaled by the
  // square root of true over estimated variance, over sigma-hat's chi-square of
  // Satterthwaite's effective degrees of freedom (trace(MR)^2 / trace((MR)^2)).
  const Result<LinearModel> model = firstLevelModel(simulation.predictors, kVolumes, FirstLevelOptions{});
  const LinearModel& m = model.value();
  const Eigen::MatrixXd residualMaker =
      Eigen::MatrixXd::Identity(kVolumes, kVolumes) - m.design() * m.inverseGram() * m.design().transpose();
  const Eigen::MatrixXd mr = residualMaker * ar1CorrelationTimes(residualMaker, kRho);
  const double effectiveDf = mr.trace() * mr.trace() / (mr * mr).trace();
  const double estimated = mr.trace() / m.residualDf() * m.inverseGram()(0, 0);
  const double trueVariance = withinSubjectVariance(m, std::vector<double>{1.0, 0.0}, {1.0, kRho}, false);
  const boost::math::students_t_distribution<double> ols_t(m.residualDf());
  const double critical = boost::math::quantile(boost::math::complement(ols_t, kAlpha / 2));
  const double inflated = 2.0 * boost::math::cdf(boost::math::complement(
      boost::math::students_t_distribution<double>(effectiveDf),
      critical * std::sqrt(estimated / trueVariance)));
  ASSERT_GT(inflated, 2 * kAlpha);
  expectRateNear(rate(ols.value()), inflated, kVoxels, z, "least squares on AR(1) noise");
  expectRateNear(rate(whitened.value()), kAlpha, kVoxels, z, "prewhitened");
}

}  // namespace
}  // namespace cohortix::host
