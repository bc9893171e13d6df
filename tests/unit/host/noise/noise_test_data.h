#pragma once
// Data made by the noise model on a flat baseline and measured by the estimators,
// for the tests of the noise model.

#include <gtest/gtest.h>

#include <vector>

#include "host/noise/noise_estimator.h"
#include "host/noise/noise_model.h"

namespace cohortix::host::noise::testing {

// 16384 voxels of 3 mm, 200 volumes at TR 2 s: big enough for the tolerances of
// the tests, small enough to take a fraction of a second.
inline NoiseGeometry testGeometry() { return {32, 32, 16, 200, {3.0, 3.0, 3.0}, 2.0}; }

inline constexpr float kTestBaseline = 1000.0f;

// A baseline of kTestBaseline everywhere (or as given) with the model's noise.
inline std::vector<float> simulate(const NoiseModel& model, const NoiseKey& key,
                                   const std::vector<float>& baseline = {}) {
  const NoiseGeometry& g = model.geometry();
  std::vector<float> base = baseline.empty() ? std::vector<float>(g.voxels(), kTestBaseline) : baseline;
  std::vector<float> data(g.voxels() * g.volumes);
  for (int64_t v = 0; v < g.voxels(); ++v)
    std::fill_n(data.begin() + v * g.volumes, g.volumes, base[v]);
  model.apply(data.data(), base.data(), key, 2);
  return data;
}

inline NoiseModel prepared(const NoiseComponents& components, const NoiseGeometry& geometry = testGeometry()) {
  Result<NoiseModel> model = NoiseModel::prepare(components, geometry);
  EXPECT_TRUE(model) << model.status().message();
  return model.value();
}

inline NoiseStatistics measure(const NoiseGeometry& geometry, const std::vector<float>& data) {
  const MemoryTimeSeries image(geometry, data.data());
  Result<NoiseStatistics> statistics = estimateNoise(image);
  EXPECT_TRUE(statistics) << statistics.status().message();
  return statistics.value();
}

inline NoiseStatistics simulateAndMeasure(const NoiseComponents& components,
                                          const NoiseGeometry& geometry = testGeometry(),
                                          const NoiseKey& key = {7, 0, 1}) {
  return measure(geometry, simulate(prepared(components, geometry), key));
}

// The tolerances every comparison of the noise tests uses.
inline void expectSameStatistics(const NoiseStatistics& found, const NoiseStatistics& expected) {
  EXPECT_NEAR(found.tsnr, expected.tsnr, 0.05 * expected.tsnr);
  EXPECT_NEAR(found.ar1, expected.ar1, 0.02);
  for (int axis = 0; axis < 3; ++axis)
    EXPECT_NEAR(found.fwhmMm[axis], expected.fwhmMm[axis], 0.05 * expected.fwhmMm[axis]) << "axis " << axis;
  EXPECT_NEAR(found.driftPercent, expected.driftPercent, 0.1 * expected.driftPercent + 0.02);
  ASSERT_EQ(found.periodic.size(), expected.periodic.size());
  const double bin = 1.0 / (found.volumes * found.repetitionTime);
  for (std::size_t i = 0; i < found.periodic.size(); ++i) {
    EXPECT_NEAR(found.periodic[i].frequencyHz, expected.periodic[i].frequencyHz, bin) << "peak " << i;
    EXPECT_NEAR(found.periodic[i].amplitudePercent, expected.periodic[i].amplitudePercent,
                0.1 * expected.periodic[i].amplitudePercent) << "peak " << i;
  }
}

}  // namespace cohortix::host::noise::testing
