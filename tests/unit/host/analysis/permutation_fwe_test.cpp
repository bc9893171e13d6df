// The family-wise correction by permutation against what makes it worth having:
// under the complete null its family-wise error rate is alpha itself, for
// independent voxels and for voxels as strongly dependent as smooth data make them,
// where Bonferroni falls far below alpha. Each rate is a binomial proportion over
// independent studies; the tolerance is its sampling error.

#include <gtest/gtest.h>

#include <boost/math/distributions/normal.hpp>
#include <algorithm>
#include <cmath>
#include <limits>
#include <span>
#include <random>
#include <set>
#include <vector>

#include "host/analysis/group_accumulator.h"
#include "host/analysis/group_tests.h"
#include "host/analysis/map_threshold.h"
#include "host/analysis/permutation_maxima.h"
#include "host/analysis/relabellings.h"
#include "host/analysis/study_analysis.h"

namespace cohortix::host {
namespace {

// Every relabelling once, the observed one first; drawn ones keep the group sizes.
TEST(Relabellings, AllAreRunOnceWhenTheyFitAndDrawnOnesKeepTheGroupSizes) {
  for (const Relabellings& all : {signFlips(5, 32, 3), groupSplits(3, 4, 35, 3)}) {
    ASSERT_TRUE(all.exhaustive);
    std::set<std::vector<double>> distinct;
    for (int32_t k = 0; k < all.count; ++k)
      distinct.emplace(all.relabelling(k), all.relabelling(k) + all.subjects);
    EXPECT_EQ(distinct.size(), static_cast<std::size_t>(all.count));
  }
  EXPECT_EQ(signFlips(5, 32, 3).count, 32);
  EXPECT_EQ(groupSplits(3, 4, 35, 3).count, 35);
  EXPECT_FALSE(groupSplits(3, 4, 34, 3).exhaustive);
  for (const Relabellings& some : {groupSplits(3, 4, 20, 9), groupSplits(3, 4, 35, 9)}) {
    const std::vector<double> observed{1, 1, 1, 0, 0, 0, 0};
    EXPECT_EQ(std::vector<double>(some.relabelling(0), some.relabelling(0) + 7), observed);
    for (int32_t k = 0; k < some.count; ++k)
      EXPECT_EQ(std::count(some.relabelling(k), some.relabelling(k) + 7, 1.0), 3);
  }
  const Relabellings flips = signFlips(40, 50, 9);
  EXPECT_EQ(std::count(flips.relabelling(0), flips.relabelling(1), 1.0), 40);
  EXPECT_EQ(flips.labels, signFlips(40, 50, 9).labels);
  EXPECT_NE(flips.labels, signFlips(40, 50, 10).labels);
}

// Each relabelling's maximum equals the largest statistic of the group map made
// the ordinary way from the relabelled subjects: over masked voxels in several
// chunks, an odd count of them, both tails, one and two groups.
TEST(PermutationMaxima, EachMaximumIsThatOfTheMapOfTheRelabelledSubjects) {
  constexpr int64_t kVoxels = 4099;
  constexpr int32_t kFirst = 5, kSecond = 4;
  std::mt19937_64 random(11);
  std::normal_distribution<double> normal;
  std::vector<float> values(static_cast<std::size_t>(kVoxels) * (kFirst + kSecond));
  for (std::size_t i = 0; i < values.size(); ++i)
    values[i] = static_cast<float>(2.0 + normal(random) + (i % kVoxels < 50 ? 3.0 : 0.0));
  std::vector<uint8_t> mask(kVoxels, 1);
  for (int64_t v = 0; v < kVoxels; v += 7) mask[static_cast<std::size_t>(v)] = 0;
  const std::span<const float> all(values);
  const std::span<const float> first = all.first(kVoxels * kFirst), second = all.last(kVoxels * kSecond);
  const PermutationSettings settings{40, 5};
  FirstLevelFit fit;
  fit.cells = 1;
  fit.voxels = kVoxels;
  fit.mask = mask;
  fit.betaPercent.resize(kVoxels);
  for (Tail tail : {Tail::Two, Tail::Upper}) {
    const auto largest = [&](const StatisticMap& map) {
      double value = -std::numeric_limits<double>::infinity();
      for (int64_t v = 0; v < kVoxels; ++v)
        if (mask[static_cast<std::size_t>(v)]) value = std::max<double>(value, tail == Tail::Two ? std::abs(map.t[v]) : map.t[v]);
      return value;
    };
    const Relabellings flips = signFlips(kFirst, settings.permutations, settings.seed);
    const MaximumDistribution flipped = oneSampleMaxima(first, kFirst, mask, tail, settings);
    const Relabellings splits = groupSplits(kFirst, kSecond, settings.permutations, settings.seed);
    const MaximumDistribution split = welchMaxima(first, kFirst, second, kSecond, mask, tail, settings);
    ASSERT_EQ(flipped.maxima.size(), 32u);  // every flip of 5 subjects
    ASSERT_EQ(split.maxima.size(), 40u);    // 40 of the 126 splits
    for (int32_t k = 0; k < 40; ++k) {
      GroupAccumulator group(kVoxels, 2, cellEffects({"A"}));
      for (int32_t s = 0; s < kFirst + kSecond; ++s) {
        const bool inFirst = splits.relabelling(k)[s] != 0.0;
        for (int64_t v = 0; v < kVoxels; ++v) fit.betaPercent[v] = values[s * kVoxels + v];
        ASSERT_TRUE(group.add(inFirst ? 0 : 1, fit).isOk());
      }
      EXPECT_NEAR(split.maxima[k], largest(welchT(group.moments(0, 0), group.moments(1, 0), mask, tail)),
                  1e-4 * std::abs(split.maxima[k]));
      if (k >= flips.count) continue;
      group.reset();
      for (int32_t s = 0; s < kFirst; ++s) {
        for (int64_t v = 0; v < kVoxels; ++v)
          fit.betaPercent[v] = static_cast<float>(flips.relabelling(k)[s] * values[s * kVoxels + v]);
        ASSERT_TRUE(group.add(0, fit).isOk());
      }
      EXPECT_NEAR(flipped.maxima[k], largest(oneSampleT(group.moments(0, 0), mask, tail)),
                  1e-4 * std::abs(flipped.maxima[k]));
    }
  }
}

struct NullRates {
  double permutation = 0.0;
  double bonferroni = 0.0;
};

// Studies under the complete null: each voxel's value is a subject's common
// factor times sqrt(shared) plus its own noise, so any two voxels correlate by
// `shared`. One group of `first` subjects (sign flips of the one-sample test), or
// two groups (splits for Welch's test).
NullRates nullRates(int32_t studies, int32_t first, int32_t second, double shared, uint64_t seed) {
  constexpr int64_t kVoxels = 100;
  std::mt19937_64 random(seed);
  std::normal_distribution<double> normal;
  const int32_t groups = second > 0 ? 2 : 1;
  GroupAccumulator accumulator(kVoxels, groups, cellEffects({"A"}), true);
  FirstLevelFit fit;
  fit.cells = 1;
  fit.voxels = kVoxels;
  fit.mask.assign(kVoxels, 1);
  fit.betaPercent.resize(kVoxels);
  AnalysisOptions options;
  options.correction = Correction::Fwe;
  options.permutation.permutations = 200;
  const GroupTest test = groups == 1 ? GroupTest{false, 0, 0, -1, "G1", "G1"} : GroupTest{true, 0, 0, 1, "G1vsG2", ""};
  NullRates rates;
  for (int32_t study = 0; study < studies; ++study) {
    accumulator.reset();
    for (int32_t s = 0; s < first + second; ++s) {
      const double common = normal(random);
      for (float& beta : fit.betaPercent)
        beta = static_cast<float>(std::sqrt(shared) * common + std::sqrt(1.0 - shared) * normal(random));
      EXPECT_TRUE(accumulator.add(s < first ? 0 : 1, fit).isOk());
    }
    const StatisticMap map = computeGroupMap(accumulator, test, Tail::Two);
    options.permutation.seed = static_cast<uint64_t>(study);
    rates.permutation += thresholdGroupMap(accumulator, test, map, options).significant > 0;
    rates.bonferroni += thresholdMap(map.p, map.df, Correction::Bonferroni, 0.05, Tail::Two).significant > 0;
  }
  rates.permutation /= studies;
  rates.bonferroni /= studies;
  return rates;
}

TEST(PermutationFwe, FamilyWiseErrorIsAlphaForIndependentAndDependentVoxels) {
  constexpr int32_t kStudies = 1500;
  constexpr double kAlpha = 0.05;  // 200 relabellings: exactly 10 may reach the statistic
  const double z = boost::math::quantile(boost::math::complement(boost::math::normal(), 0.0005 / 4));
  const double error = z * std::sqrt(kAlpha * (1.0 - kAlpha) / kStudies);
  const NullRates independentOneSample = nullRates(kStudies, 10, 0, 0.0, 1);
  const NullRates dependentOneSample = nullRates(kStudies, 10, 0, 0.9, 2);
  const NullRates independentWelch = nullRates(kStudies, 7, 7, 0.0, 3);
  const NullRates dependentWelch = nullRates(kStudies, 7, 7, 0.9, 4);
  EXPECT_NEAR(independentOneSample.permutation, kAlpha, error);
  EXPECT_NEAR(dependentOneSample.permutation, kAlpha, error);
  EXPECT_NEAR(independentWelch.permutation, kAlpha, error);
  EXPECT_NEAR(dependentWelch.permutation, kAlpha, error);
  // Where the voxels depend on each other, Bonferroni's bound is far from tight.
  EXPECT_LT(dependentOneSample.bonferroni, kAlpha - error);
  EXPECT_LT(dependentWelch.bonferroni, kAlpha - error);
}

}  // namespace
}  // namespace cohortix::host
