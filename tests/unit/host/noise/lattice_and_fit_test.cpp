// The two pieces that tie the model to its estimators: lattice kernels that
// measure the FWHM asked for, and the expected effect of the high-pass fit.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "host/noise/high_pass_design.h"
#include "host/noise/lattice_kernel.h"

namespace cohortix::host::noise {
namespace {

TEST(LatticeKernel, NeighboursCorrelateAsAGaussianFieldOfTheFwhmAskedAndVarianceIsKept) {
  for (double fwhm = 0.5; fwhm <= kMaxFwhmVoxels; fwhm += 0.25) {
    const LatticeKernel kernel = calibratedKernel(fwhm);
    double squares = 0.0;
    for (const float w : kernel.weights) squares += static_cast<double>(w) * w;
    EXPECT_NEAR(squares, 1.0, 1e-6) << fwhm;
    EXPECT_NEAR(fwhmOfLagOneCorrelation(lagOneCorrelationOf(kernel)), fwhm, 2e-4 * fwhm) << fwhm;
  }
  EXPECT_EQ(calibratedKernel(0.0).weights, std::vector<float>{1.0f});
  EXPECT_EQ(fwhmOfLagOneCorrelation(0.0), 0.0);
}

// R V R written out in full: the residual-forming matrix of the intercept and the
// cosine basis, around the covariance of an AR(1) series.
ResidualMoments bruteForceMoments(const HighPassDesign& design, double rho) {
  const int n = design.volumes(), m = design.orders() + 1;
  std::vector<std::vector<double>> x(n, std::vector<double>(m, 1.0));
  for (int t = 0; t < n; ++t)
    for (int k = 1; k < m; ++k) x[t][k] = design.basis()[(k - 1) * n + t];
  // The columns are orthogonal with squared norm n: H = X X' / n.
  std::vector<std::vector<double>> r(n, std::vector<double>(n));
  for (int s = 0; s < n; ++s)
    for (int t = 0; t < n; ++t) {
      double h = 0.0;
      for (int k = 0; k < m; ++k) h += x[s][k] * x[t][k];
      r[s][t] = (s == t) - h / n;
    }
  std::vector<std::vector<double>> rv(n, std::vector<double>(n, 0.0)), w(n, std::vector<double>(n, 0.0));
  for (int s = 0; s < n; ++s)
    for (int t = 0; t < n; ++t)
      for (int u = 0; u < n; ++u) rv[s][t] += r[s][u] * std::pow(rho, std::abs(u - t));
  for (int s = 0; s < n; ++s)
    for (int t = 0; t < n; ++t)
      for (int u = 0; u < n; ++u) w[s][t] += rv[s][u] * r[u][t];
  ResidualMoments moments;
  for (int t = 0; t < n; ++t) moments.lag0 += w[t][t];
  for (int t = 0; t + 1 < n; ++t) moments.lag1 += w[t][t + 1];
  moments.lag0 /= design.degreesOfFreedom();
  moments.lag1 /= design.degreesOfFreedom();
  return moments;
}

TEST(HighPassDesign, ExpectedResidualMomentsMatchTheFullMatrices) {
  const HighPassDesign design(90, 2.5);  // 3 cosine orders below 128 s
  ASSERT_EQ(design.orders(), 3);
  for (const double rho : {-0.4, 0.0, 0.35, 0.8}) {
    const ResidualMoments brute = bruteForceMoments(design, rho);
    const ResidualMoments fast = design.expectedMomentsOfAr1(rho);
    std::vector<double> gamma(90);
    for (int h = 0; h < 90; ++h) gamma[h] = std::pow(rho, h);
    const ResidualMoments general = design.expectedMoments(gamma);
    EXPECT_NEAR(fast.lag0, brute.lag0, 1e-9) << rho;
    EXPECT_NEAR(fast.lag1, brute.lag1, 1e-9) << rho;
    EXPECT_NEAR(general.lag0, brute.lag0, 1e-9) << rho;
    EXPECT_NEAR(general.lag1, brute.lag1, 1e-9) << rho;
    EXPECT_NEAR(design.ar1OfRatio(brute.lag1 / brute.lag0), rho, 1e-9) << rho;
  }
  // White noise reads about -(K + 1) / n uncorrected.
  const ResidualMoments white = design.expectedMomentsOfAr1(0.0);
  EXPECT_LT(white.lag1 / white.lag0, -2.0 / 90);
}

}  // namespace
}  // namespace cohortix::host::noise
