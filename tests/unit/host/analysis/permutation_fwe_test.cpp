// The family-wise corrections by permutation against what makes them worth
// having: under the complete null the family-wise error rate is alpha itself for
// voxels and at most alpha for clusters, for independent voxels and for smooth
// ones, where Bonferroni falls far below alpha. Each rate is a binomial proportion over
// independent studies; the tolerance is its sampling error.

#include <gtest/gtest.h>

#include <boost/math/distributions/normal.hpp>
#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <span>
#include <random>
#include <set>
#include <vector>

#include "host/analysis/clusters.h"
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

// Neighbours: voxels sharing only a corner join at 26, only an edge at 18 or 26,
// a face at any; opposite sides never join; nor do the end of one row and the
// start of the next, which follow each other in memory.
TEST(ClusterFinder, JoinsNeighboursByConnectivityAndSideOnly) {
  const GridShape grid{6, 4, 4};
  const auto at = [](int x, int y, int z) { return static_cast<std::size_t>(x + 6 * (y + 4 * z)); };
  std::vector<int8_t> sides(static_cast<std::size_t>(grid.voxels()), 0);
  sides[at(0, 0, 0)] = sides[at(1, 1, 1)] = 1;  // a corner apart
  sides[at(4, 0, 0)] = sides[at(5, 1, 0)] = 1;  // an edge apart
  sides[at(5, 0, 3)] = sides[at(0, 1, 3)] = 1;  // one after the other in memory
  sides[at(3, 3, 2)] = 1;                       // a face apart, on opposite sides
  sides[at(3, 3, 3)] = -1;
  const std::vector<std::pair<Connectivity, std::vector<int64_t>>> expected{
      {Connectivity::Faces, {1, 1, 1, 1, 1, 1, 1, 1}},
      {Connectivity::Edges, {2, 1, 1, 1, 1, 1, 1}},
      {Connectivity::Corners, {2, 2, 1, 1, 1, 1}}};
  for (const auto& [connectivity, want] : expected) {
    ClusterFinder finder(grid, connectivity);
    std::vector<int64_t> sizes;
    finder.label(sides, sizes);
    std::sort(sizes.begin(), sizes.end(), std::greater<>());
    EXPECT_EQ(sizes, want) << static_cast<int>(connectivity);
    EXPECT_EQ(finder.largest(sides), 2 - (connectivity == Connectivity::Faces));
  }
}

struct NullRates {
  double voxels = 0.0;    // --correction fwe
  double clusters = 0.0;  // --correction cluster
  double bonferroni = 0.0;
};

// A subject's null effect map on an 8 x 8 x 8 grid: white noise, or, with
// `smoothing` passes of a [1 2 1] / 4 kernel along each axis, smooth noise (8
// passes: a Gaussian of about 4.7 voxels FWHM).
void nullEffects(std::vector<float>& map, int smoothing, std::mt19937_64& random) {
  std::normal_distribution<double> normal;
  for (float& value : map) value = static_cast<float>(normal(random));
  std::vector<float> smoothed(map.size());
  for (int pass = 0; pass < smoothing; ++pass)
    for (int64_t stride : {1, 8, 64}) {
      for (int64_t v = 0; v < 512; ++v) {
        const int64_t at = v / stride % 8;
        const float before = map[at > 0 ? v - stride : v], after = map[at < 7 ? v + stride : v];
        smoothed[v] = 0.25f * before + 0.5f * map[v] + 0.25f * after;
      }
      map.swap(smoothed);
    }
}

// The share of `studies` null studies in which anything is found: one group of
// `first` subjects (sign flips of the one-sample test), or two groups (splits for
// Welch's test). 200 relabellings: at most 10 may reach an observed maximum.
NullRates nullRates(int32_t studies, int32_t first, int32_t second, int smoothing, uint64_t seed) {
  constexpr int64_t kVoxels = 512;
  const StudyGrid grid{{8, 8, 8}, {}};
  std::mt19937_64 random(seed);
  const int32_t groups = second > 0 ? 2 : 1;
  GroupAccumulator accumulator(kVoxels, groups, cellEffects({"A"}), true);
  FirstLevelFit fit;
  fit.cells = 1;
  fit.voxels = kVoxels;
  fit.mask.assign(kVoxels, 1);
  fit.betaPercent.resize(kVoxels);
  AnalysisOptions options;
  options.permutation.permutations = 200;
  options.clusterFormingP = 0.01;
  const GroupTest test = groups == 1 ? GroupTest{false, 0, 0, -1, "G1", "G1"} : GroupTest{true, 0, 0, 1, "G1vsG2", ""};
  NullRates rates;
  for (int32_t study = 0; study < studies; ++study) {
    accumulator.reset();
    for (int32_t s = 0; s < first + second; ++s) {
      nullEffects(fit.betaPercent, smoothing, random);
      EXPECT_TRUE(accumulator.add(s < first ? 0 : 1, fit).isOk());
    }
    const StatisticMap map = computeGroupMap(accumulator, test, Tail::Two);
    options.permutation.seed = static_cast<uint64_t>(study);
    options.correction = Correction::Fwe;
    rates.voxels += thresholdGroupMap(accumulator, test, map, options, grid).significant > 0;
    options.correction = Correction::Cluster;
    rates.clusters += thresholdGroupMap(accumulator, test, map, options, grid).significant > 0;
    rates.bonferroni += thresholdMap(map.p, map.df, Correction::Bonferroni, 0.05, Tail::Two).significant > 0;
  }
  rates.voxels /= studies;
  rates.clusters /= studies;
  rates.bonferroni /= studies;
  return rates;
}

TEST(PermutationFwe, FamilyWiseErrorIsAlphaForIndependentAndSmoothVoxelsAndClusters) {
  constexpr int32_t kStudies = 1000;
  constexpr double kAlpha = 0.05;
  const double z = boost::math::quantile(boost::math::complement(boost::math::normal(), 0.0005 / 6));
  const double error = z * std::sqrt(kAlpha * (1.0 - kAlpha) / kStudies);
  const NullRates whiteOneSample = nullRates(kStudies, 10, 0, 0, 1);
  const NullRates smoothOneSample = nullRates(kStudies, 10, 0, 8, 2);
  const NullRates smoothWelch = nullRates(kStudies, 6, 6, 8, 4);
  for (const NullRates* rates : {&whiteOneSample, &smoothOneSample, &smoothWelch}) {
    EXPECT_NEAR(rates->voxels, kAlpha, error);
    // Cluster sizes are small integers, often tied between relabellings, and ties
    // only make a permutation test stricter: at most alpha (0.02 to 0.04 here).
    EXPECT_LE(rates->clusters, kAlpha + error);
  }
  // Where the voxels depend on each other, Bonferroni's bound is far from tight.
  EXPECT_LT(smoothOneSample.bonferroni, kAlpha - error);
  EXPECT_LT(smoothWelch.bonferroni, kAlpha - error);
}

}  // namespace
}  // namespace cohortix::host
