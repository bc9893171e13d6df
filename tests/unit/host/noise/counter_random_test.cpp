#include "host/noise/counter_random.h"

#include <gtest/gtest.h>
#include <Random123/philox.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace cohortix::host::noise {
namespace {

// Deviate d as the header defines it, from Random123's own Philox and Box-Muller in
// double precision.
double referenceDeviate(const CounterRandom& random, uint32_t stream, LatticeSite site, uint64_t d) {
  const auto quad = static_cast<uint32_t>(8 * (d / 32) + d % 8);
  const auto word = static_cast<int>((d % 32) / 8);
  const r123::Philox4x32::ctr_type counter = {
      {quad, static_cast<uint32_t>(site.x + 32768) | static_cast<uint32_t>(site.y + 32768) << 16, stream,
       static_cast<uint32_t>(site.z + 32768)}};
  const r123::Philox4x32::key_type key = {{random.keyWord(0), random.keyWord(1)}};
  const r123::Philox4x32::ctr_type words = r123::Philox4x32()(counter, key);
  const uint32_t a = words[word & 2], b = words[(word & 2) + 1];
  const double u = ((a >> 9) + 0.5) / 8388608.0;
  const double radius = std::sqrt(-2.0 * std::log(u));
  const double theta = 2.0 * std::numbers::pi * b / 4294967296.0;
  return (word & 1) ? radius * std::sin(theta) : radius * std::cos(theta);
}

TEST(CounterRandom, DeviatesArePhiloxWordsThroughBoxMullerWhereverARangeStarts) {
  const CounterRandom random({20240607, 3, 17});
  const LatticeSite site{-4, 39, 12};
  const uint32_t stream = 7;
  std::vector<float> whole(1000);
  random.gaussians(stream, site, 0, whole.size(), whole.data());
  for (uint64_t d = 0; d < whole.size(); ++d)
    ASSERT_NEAR(whole[d], referenceDeviate(random, stream, site, d), 2e-6 * (1.0 + std::fabs(whole[d]))) << d;
  // Any sub-range gives the same values, bit for bit.
  for (const auto& [first, count] : {std::pair<uint64_t, std::size_t>{5, 77}, {32, 64}, {31, 2}, {999, 1}}) {
    std::vector<float> part(count);
    random.gaussians(stream, site, first, count, part.data());
    for (std::size_t i = 0; i < count; ++i) ASSERT_EQ(part[i], whole[first + i]) << first << "+" << i;
  }
}

TEST(CounterRandom, EveryCodePathGivesTheSameBits) {
  const CounterRandom random({1, 0, 0});
  const uint32_t key[2] = {random.keyWord(0), random.keyWord(1)};
  std::vector<float> dispatched(32 * 301), sse2(32 * 301);
  std::vector<GaussianBlock> blocks, sse2Blocks;
  for (uint32_t b = 0; b < 301; ++b) {  // blocks of several sites, not in order
    const uint32_t quad = 8 * ((b * 7) % 301), word1 = 0x12345678u + b % 3;
    blocks.push_back({quad, word1, &dispatched[32 * b]});
    sse2Blocks.push_back({quad, word1, &sse2[32 * b]});
  }
  gaussianBlocks(key, blocks.data(), blocks.size(), 2, 32770);
  gaussianBlocksSse2(key, sse2Blocks.data(), sse2Blocks.size(), 2, 32770);
  EXPECT_EQ(dispatched, sse2);
}

TEST(CounterRandom, ARowOfSitesIsEachSiteOnItsOwn) {
  const CounterRandom random({8, 1, 2});
  const std::size_t stride = 40;
  for (const auto& [first, count] : {std::pair<uint64_t, std::size_t>{0, 32}, {64, 37}, {3, 30}}) {
    std::vector<float> row(70 * stride, -1.0f);
    random.gaussianRow(NoiseStream::SystemReal, {-3, 5, 6}, 70, first, count, row.data(), stride);
    for (int i = 0; i < 70; ++i) {
      std::vector<float> one(count);
      random.gaussians(NoiseStream::SystemReal, {-3 + i, 5, 6}, first, count, one.data());
      ASSERT_TRUE(std::equal(one.begin(), one.end(), row.begin() + i * stride)) << i << " from " << first;
      ASSERT_EQ(row[i * stride + count], -1.0f) << "written beyond the range";
    }
  }
}

TEST(CounterRandom, DeviatesAreStandardNormal) {
  const CounterRandom random({99, 1, 1});
  const std::size_t n = std::size_t{1} << 20;
  std::vector<float> z(n);
  random.gaussians(NoiseStream::Tissue, {3, 4, 5}, 0, n, z.data());
  double m1 = 0, m2 = 0, m3 = 0, m4 = 0, beyond3 = 0, below = 0;
  for (const float v : z) {
    m1 += v;
    m2 += v * v;
    m3 += v * v * v;
    m4 += v * v * v * v;
    beyond3 += std::fabs(v) > 3.0f;
    below += v < -1.0f;
  }
  m1 /= n, m2 /= n, m3 /= n, m4 /= n;
  const double root = std::sqrt(static_cast<double>(n));
  // Five standard errors of each moment.
  EXPECT_NEAR(m1, 0.0, 5.0 / root);
  EXPECT_NEAR(m2, 1.0, 5.0 * std::sqrt(2.0) / root);
  EXPECT_NEAR(m3, 0.0, 5.0 * std::sqrt(15.0) / root);
  EXPECT_NEAR(m4, 3.0, 5.0 * std::sqrt(96.0) / root);
  const double p3 = std::erfc(3.0 / std::sqrt(2.0)), p1 = 0.5 * std::erfc(1.0 / std::sqrt(2.0));
  EXPECT_NEAR(beyond3 / n, p3, 5.0 * std::sqrt(p3 * (1 - p3) / n));
  EXPECT_NEAR(below / n, p1, 5.0 * std::sqrt(p1 * (1 - p1) / n));
}

TEST(CounterRandom, KeysStreamsAndSitesGiveUnrelatedSeries) {
  const std::size_t n = 1 << 16;
  const auto series = [n](NoiseKey key, NoiseStream stream, LatticeSite site) {
    std::vector<float> z(n);
    CounterRandom(key).gaussians(stream, site, 0, n, z.data());
    return z;
  };
  const std::vector<float> base = series({5, 0, 0}, NoiseStream::Tissue, {0, 0, 0});
  const std::vector<std::vector<float>> others = {
      series({6, 0, 0}, NoiseStream::Tissue, {0, 0, 0}), series({5, 1, 0}, NoiseStream::Tissue, {0, 0, 0}),
      series({5, 0, 1}, NoiseStream::Tissue, {0, 0, 0}), series({5, 0, 0}, NoiseStream::Drift, {0, 0, 0}),
      series({5, 0, 0}, NoiseStream::Tissue, {1, 0, 0}), series({5, 0, 0}, NoiseStream::Tissue, {0, 0, -1}),
      series({uint64_t{5} << 32, 0, 0}, NoiseStream::Tissue, {0, 0, 0})};
  for (std::size_t i = 0; i < others.size(); ++i) {
    double product = 0.0;
    for (std::size_t t = 0; t < n; ++t) product += static_cast<double>(base[t]) * others[i][t];
    EXPECT_LT(std::fabs(product / n), 5.0 / std::sqrt(static_cast<double>(n))) << "series " << i;
  }
}

}  // namespace
}  // namespace cohortix::host::noise
