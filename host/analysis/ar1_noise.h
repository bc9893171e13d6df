#pragma once
// First-order autoregressive noise, e_t = rho e_{t-1} + innovation: its
// correlation matrix R (R_ij = rho^|i-j|), the whitening that turns it back into
// white noise, and the estimate of rho from a least-squares fit's residuals.
//
// Residuals of a fit are not the noise: they are M e with M = I - X (X'X)^-1 X',
// and their lag-one autocorrelation is biased (towards negative values, more so
// the more regressors). The estimate therefore takes the rho whose expected
// residual autocorrelation under the design,
//     trace(D M R M) / trace(M R M)   (D: the lag-one matrix, ones above the diagonal),
// equals the one observed: an exact form of the usual bias correction.

#include <Eigen/Dense>

namespace cohortix::host {

class LinearModel;

// The estimates are kept within this range: beyond it the whitened model degenerates.
inline constexpr double kMaxAr1 = 0.99;

// R X, computed by two recursive filters instead of forming R.
Eigen::MatrixXd ar1CorrelationTimes(const Eigen::MatrixXd& x, double rho);

// W X: the first row scaled by sqrt(1 - rho^2), every later row t minus rho times
// row t - 1. W R W' = (1 - rho^2) I, so whitened AR(1) noise of marginal variance
// s^2 is white with variance (1 - rho^2) s^2.
Eigen::MatrixXd ar1Whiten(const Eigen::MatrixXd& x, double rho);

// The expected lag-one autocorrelation of the model's residuals under AR(1) noise.
double expectedResidualAutocorrelation(const LinearModel& model, double rho);

// The rho whose expected residual autocorrelation is `observed` (the pooled
// sum of r_t r_{t+1} over the pooled sum of r_t^2); kept within +-kMaxAr1.
double ar1FromResidualAutocorrelation(const LinearModel& model, double observed);

}  // namespace cohortix::host
