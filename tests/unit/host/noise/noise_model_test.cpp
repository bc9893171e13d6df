#include "host/noise/noise_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "host/noise/simd_rows.h"
#include "tests/unit/host/noise/noise_test_data.h"

namespace cohortix::host::noise {
namespace {

NoiseComponents everything() {
  NoiseComponents c;
  c.noise = {1.2, 0.3, SystemNoise::Rician, {0.4, 0.1}, 6.0};
  c.drift = {1.0, 100.0};
  c.rhythms = {{"cardiac", 1.17, 0.4, 8.0}};
  c.global = {0.3, {0.8}};
  return c;
}

// A small box with uneven baselines, so every component has something to scale.
struct Subject {
  NoiseGeometry geometry{13, 9, 7, 75, {3.0, 3.0, 3.5}, 1.5};
  std::vector<float> baseline, data;
  Subject() {
    for (int64_t v = 0; v < geometry.voxels(); ++v) baseline.push_back(500.0f + static_cast<float>(v % 17));
    for (int64_t v = 0; v < geometry.voxels(); ++v)
      for (int t = 0; t < geometry.volumes; ++t) data.push_back(baseline[v] + static_cast<float>(t % 5));
  }
};

std::vector<float> noisy(const NoiseModel& model, const Subject& subject, const NoiseKey& key, int threads,
                         bool givenBaseline = true) {
  std::vector<float> data = subject.data;
  model.apply(data.data(), givenBaseline ? subject.baseline.data() : nullptr, key, threads);
  return data;
}

TEST(NoiseModel, TheSameKeyGivesTheSameBytesWhateverTheThreadsAndPasses) {
  const Subject subject;
  const NoiseModel model = testing::prepared(everything(), subject.geometry);
  const std::vector<float> reference = noisy(model, subject, {42, 2, 5}, 1);
  EXPECT_NE(reference, subject.data);
  for (const int threads : {2, 3, 7}) EXPECT_EQ(noisy(model, subject, {42, 2, 5}, threads), reference) << threads;
  NoiseModel shortPasses = model;
  shortPasses.limitVolumesPerPass(32);  // three passes over the 75 volumes
  EXPECT_EQ(noisy(shortPasses, subject, {42, 2, 5}, 2), reference);
}

TEST(NoiseModel, SeedReplicateAndSubjectEachGiveOtherNoise) {
  const Subject subject;
  const NoiseModel model = testing::prepared(everything(), subject.geometry);
  const std::vector<float> reference = noisy(model, subject, {42, 2, 5}, 2);
  for (const NoiseKey& other : {NoiseKey{43, 2, 5}, NoiseKey{42, 3, 5}, NoiseKey{42, 2, 6}, NoiseKey{42, 5, 2}}) {
    const std::vector<float> data = noisy(model, subject, other, 2);
    std::size_t same = 0;
    for (std::size_t i = 0; i < data.size(); ++i) same += data[i] == reference[i];
    EXPECT_LT(same, data.size() / 100) << other.seed << " " << other.replicate << " " << other.subject;
  }
}

TEST(NoiseModel, WithoutABaselineTheTemporalMeansScaleTheNoise) {
  Subject subject;
  // Series whose temporal means are exactly the baselines.
  for (int64_t v = 0; v < subject.geometry.voxels(); ++v)
    std::fill_n(subject.data.begin() + v * subject.geometry.volumes, subject.geometry.volumes, subject.baseline[v]);
  const NoiseModel model = testing::prepared(everything(), subject.geometry);
  EXPECT_EQ(noisy(model, subject, {1, 0, 0}, 2, false), noisy(model, subject, {1, 0, 0}, 2, true));
}

TEST(NoiseModel, RowArithmeticIsTheSameOnEveryCodePath) {
  std::vector<std::vector<float>> inputs(11, std::vector<float>(40));
  std::vector<const float*> rows;
  std::vector<float> weights;
  for (std::size_t j = 0; j < inputs.size(); ++j) {
    for (std::size_t i = 0; i < 40; ++i) inputs[j][i] = std::sin(0.37f * (i + 1) * (j + 2)) * 1e3f;
    rows.push_back(inputs[j].data());
    weights.push_back(0.1f * (j + 1) - 0.35f);
  }
  for (const std::size_t n : {8u, 16u, 24u, 40u}) {
    std::vector<float> dispatched(n), sse2(n);
    rows::weightedSum(dispatched.data(), rows.data(), weights.data(), 11, n);
    rows::weightedSumSse2(sse2.data(), rows.data(), weights.data(), 11, n);
    EXPECT_EQ(dispatched, sse2) << n;
  }
}

TEST(NoiseModel, RefusesComponentsTheGeometryCannotCarry) {
  const NoiseGeometry geometry = testing::testGeometry();
  const auto refusal = [&](NoiseComponents c) {
    Result<NoiseModel> model = NoiseModel::prepare(c, geometry);
    return model ? std::string("accepted") : model.status().message();
  };
  NoiseComponents c;
  c.noise = {1.0, 0.0, SystemNoise::Gaussian, {}, 40.0};
  EXPECT_NE(refusal(c).find("noise.fwhm_mm of at most 12 voxels"), std::string::npos) << refusal(c);
  c.noise = {1.0, 0.0, SystemNoise::Gaussian, {1.1}, 0.0};
  EXPECT_NE(refusal(c).find("noise.ar: expected the coefficients of a stationary process"), std::string::npos)
      << refusal(c);
  c.noise = {1.0, 1.5, SystemNoise::Gaussian, {}, 0.0};
  EXPECT_NE(refusal(c).find("system_share from 0 to 1"), std::string::npos) << refusal(c);
  c.noise = {};
  c.rhythms = {{"cardiac", 0.0, 1.0, 10.0}};
  EXPECT_NE(refusal(c).find("rhythm \"cardiac\": expected a frequency above 0 Hz"), std::string::npos) << refusal(c);
  NoiseGeometry flat = geometry;
  flat.repetitionTime = 0.0;
  EXPECT_FALSE(NoiseModel::prepare(NoiseComponents{}, flat));
}

}  // namespace
}  // namespace cohortix::host::noise
