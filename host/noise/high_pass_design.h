#pragma once
// The estimators' temporal model: an intercept and the cosine basis below the
// cutoff, fitted to every voxel's series, the rest being the residuals. Also what
// that fit does to a stationary series on average: its expected residual lag-0 and
// lag-1 sums, from which the AR(1) estimate is freed of the bias the fit brings
// (about -(K + 1) / n) and the forecast of the statistics is made.

#include <vector>

#include "host/noise/cosine_basis.h"

namespace cohortix::host::noise {

// Sums over the residuals of one voxel, divided by the degrees of freedom.
struct ResidualMoments {
  double lag0 = 0.0;  // sum_t r_t^2 / dof
  double lag1 = 0.0;  // sum_t r_t r_{t+1} / dof
};

class HighPassDesign {
 public:
  HighPassDesign(int volumes, double repetitionTime, double cutoffSeconds = kDefaultCutoffSeconds);

  int volumes() const { return volumes_; }
  int orders() const { return orders_; }
  int degreesOfFreedom() const { return volumes_ - 1 - orders_; }
  // orders() x volumes(): row k - 1 is phi_k.
  const std::vector<double>& basis() const { return basis_; }

  // Expected residual moments of a stationary series with autocovariance
  // gamma[0 .. n-1]. With `projections`, also E[beta_k^2] for k = 1 .. K, beta_k the
  // series' coefficient on phi_k (the mean of x_t phi_k(t)).
  ResidualMoments expectedMoments(const std::vector<double>& autocovariance,
                                  std::vector<double>* projections = nullptr) const;
  // The same for an AR(1) series of unit variance, in O(n K).
  ResidualMoments expectedMomentsOfAr1(double rho, std::vector<double>* projections = nullptr) const;

  // The AR(1) coefficient whose expected ratio lag1 / lag0 is `ratio`, within
  // [-0.999, 0.999].
  double ar1OfRatio(double ratio) const;

 private:
  // columns_[j] is column j of Q: 1 / sqrt(n), then phi_k / sqrt(n).
  ResidualMoments momentsOf(const std::vector<std::vector<double>>& product, double gamma0,
                            double gamma1, std::vector<double>* projections) const;

  int volumes_;
  int orders_;
  std::vector<double> basis_;
  std::vector<std::vector<double>> columns_;
  std::vector<std::vector<double>> shifted_;  // S_jl = sum_t Q_tj Q_(t+1)l
};

}  // namespace cohortix::host::noise
