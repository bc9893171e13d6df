#include "host/noise/ar_process.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "host/noise/counter_random.h"

namespace cohortix::host::noise {
namespace {

// Many short series of one process, each from its own deviates.
std::vector<std::vector<float>> seriesOf(const ArProcess& process, int count, int length) {
  const CounterRandom random({11, 0, 0});
  std::vector<std::vector<float>> all;
  for (int i = 0; i < count; ++i) {
    std::vector<float> x(length);
    random.gaussians(NoiseStream::Tissue, {i % 1000, i / 1000, 0}, 0, length, x.data());
    float state[kMaxArOrder];
    process.filter(x.data(), x.size(), state, true);
    all.push_back(x);
  }
  return all;
}

TEST(ArProcess, StartsStationaryWithTheYuleWalkerCorrelations) {
  const double phi1 = 0.6, phi2 = -0.3;
  const ArProcess process = ArProcess::create({phi1, phi2}).value();
  const double rho1 = phi1 / (1 - phi2), rho2 = phi1 * rho1 + phi2;
  const std::vector<double> rho = process.autocorrelation(3);
  EXPECT_NEAR(rho[1], rho1, 1e-12);
  EXPECT_NEAR(rho[2], rho2, 1e-12);
  EXPECT_NEAR(rho[3], phi1 * rho2 + phi2 * rho1, 1e-12);
  const int count = 40000;
  const auto all = seriesOf(process, count, 6);
  // Every volume, the first two included, has unit variance and the process's
  // correlations with the next ones.
  const double tolerance = 5.0 * std::sqrt(2.0 / count);
  for (int t = 0; t < 4; ++t) {
    double v0 = 0, c1 = 0, c2 = 0;
    for (const auto& x : all) {
      v0 += x[t] * x[t];
      c1 += x[t] * x[t + 1];
      c2 += x[t] * x[t + 2];
    }
    EXPECT_NEAR(v0 / count, 1.0, tolerance) << "volume " << t;
    EXPECT_NEAR(c1 / count, rho1, tolerance) << "volume " << t;
    EXPECT_NEAR(c2 / count, rho2, tolerance) << "volume " << t;
  }
}

TEST(ArProcess, FilteringInPiecesGivesTheSameSeries) {
  for (const std::vector<double>& phi : {std::vector<double>{0.7}, {0.5, 0.2, -0.1}}) {
    const ArProcess process = ArProcess::create(phi).value();
    std::vector<float> x(100);
    CounterRandom({3, 0, 0}).gaussians(NoiseStream::Global, {}, 0, x.size(), x.data());
    std::vector<float> whole = x, pieces = x;
    float state[kMaxArOrder];
    process.filter(whole.data(), whole.size(), state, true);
    process.filter(pieces.data(), 32, state, true);
    process.filter(pieces.data() + 32, 64, state, false);
    process.filter(pieces.data() + 96, 4, state, false);
    EXPECT_EQ(whole, pieces);
  }
}

TEST(ArProcess, RefusesProcessesThatAreNotStationary) {
  EXPECT_TRUE(ArProcess::create({}));
  EXPECT_TRUE(ArProcess::create({0.99}));
  EXPECT_TRUE(ArProcess::create({1.5, -0.9}));  // inside the AR(2) triangle
  for (const std::vector<double>& phi : {std::vector<double>{1.0}, {-1.2}, {0.5, 0.6}, {1.5, -0.4},
                                         {0, 0, 0, 0, 0, 0, 0, 0, 0.1}}) {
    const Result<ArProcess> process = ArProcess::create(phi);
    ASSERT_FALSE(process) << phi.size() << " coefficients, first " << phi[0];
    EXPECT_NE(process.status().message().find("expected"), std::string::npos) << process.status().message();
  }
}

}  // namespace
}  // namespace cohortix::host::noise
