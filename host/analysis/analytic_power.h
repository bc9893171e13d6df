#pragma once
// The power of a one-sample group t test at one voxel or region, from theory.
// Each subject's estimate of the effect is the true effect plus a between-subject
// deviation (SD sigma_b) plus its first-level estimation error (variance
// sigma_w^2, from the design and the noise), so over N subjects with the same
// design t = mean / (SD / sqrt N) follows a noncentral t with N - 1 degrees of
// freedom and noncentrality effect sqrt(N) / sqrt(sigma_b^2 + sigma_w^2). Power is
// the probability that it passes the critical value at alpha.

#include <Eigen/Dense>
#include <cstdint>
#include <span>

#include "host/analysis/t_distribution.h"

namespace cohortix::host {

class LinearModel;

// The subject's noise: marginal SD (percent of the baseline) and AR(1) coefficient.
struct NoiseModel {
  double sd = 1.0;
  double ar1 = 0.0;
};

// The sampling variance of the estimate of sum_c w_c beta_c, with weights over the
// model's first cells.size() columns (the cells), in percent^2. The covariance of
// the noise is exact: s^2 R with R_ij = rho^|i-j|. Least squares gives
// s^2 c'G X'RX G c (G = (X'X)^-1); prewhitening with the true rho gives
// s^2 (1 - rho^2) c' ((WX)'(WX))^-1 c.
double withinSubjectVariance(const LinearModel& model, std::span<const double> cellWeights,
                             const NoiseModel& noise, bool prewhitened);

struct OneSamplePowerQuestion {
  double effect = 0.0;               // percent of the baseline
  double betweenSubjectSD = 0.0;     // percent
  double withinSubjectVariance = 0.0;  // percent^2
  int32_t subjects = 0;
  double alpha = 0.05;
  Tail tail = Tail::Two;
};

// NaN for fewer than 2 subjects or no variance at all.
double oneSampleGroupPower(const OneSamplePowerQuestion& question);

}  // namespace cohortix::host
