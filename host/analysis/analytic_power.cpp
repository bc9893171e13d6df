#include "host/analysis/analytic_power.h"

#include <cmath>
#include <limits>

#include "host/analysis/ar1_noise.h"
#include "host/analysis/linear_model.h"

namespace cohortix::host {

double withinSubjectVariance(const LinearModel& model, std::span<const double> cellWeights,
                             const NoiseModel& noise, bool prewhitened) {
  const Eigen::MatrixXd& x = model.design();
  Eigen::VectorXd c = Eigen::VectorXd::Zero(x.cols());
  for (std::size_t i = 0; i < cellWeights.size() && static_cast<Eigen::Index>(i) < x.cols(); ++i)
    c(static_cast<Eigen::Index>(i)) = cellWeights[i];
  const double variance = noise.sd * noise.sd;
  if (prewhitened) {
    const Eigen::MatrixXd wx = ar1Whiten(x, noise.ar1);
    const Eigen::VectorXd solved = (wx.transpose() * wx).ldlt().solve(c);
    return variance * (1.0 - noise.ar1 * noise.ar1) * c.dot(solved);
  }
  const Eigen::VectorXd gc = model.inverseGram() * c;
  const Eigen::VectorXd xgc = x * gc;
  const Eigen::MatrixXd rxgc = ar1CorrelationTimes(xgc, noise.ar1);
  return variance * xgc.dot(rxgc.col(0));
}

double oneSampleGroupPower(const OneSamplePowerQuestion& question) {
  const double spread = question.betweenSubjectSD * question.betweenSubjectSD +
                        question.withinSubjectVariance;
  if (question.subjects < 2 || !(spread > 0.0)) return std::numeric_limits<double>::quiet_NaN();
  const double n = question.subjects;
  const double noncentrality = question.effect * std::sqrt(n) / std::sqrt(spread);
  return noncentralTPower(noncentrality, n - 1.0, question.alpha, question.tail);
}

}  // namespace cohortix::host
