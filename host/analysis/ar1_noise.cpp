#include "host/analysis/ar1_noise.h"

#include <boost/math/tools/toms748_solve.hpp>
#include <cmath>
#include <cstdint>

#include "host/analysis/linear_model.h"

namespace cohortix::host {

Eigen::MatrixXd ar1CorrelationTimes(const Eigen::MatrixXd& x, double rho) {
  const Eigen::Index n = x.rows();
  Eigen::MatrixXd forward = x;
  Eigen::MatrixXd backward = x;
  for (Eigen::Index t = 1; t < n; ++t) forward.row(t) += rho * forward.row(t - 1);
  for (Eigen::Index t = n - 2; t >= 0; --t) backward.row(t) += rho * backward.row(t + 1);
  return forward + backward - x;
}

Eigen::MatrixXd ar1Whiten(const Eigen::MatrixXd& x, double rho) {
  Eigen::MatrixXd whitened(x.rows(), x.cols());
  if (x.rows() == 0) return whitened;
  whitened.row(0) = std::sqrt(1.0 - rho * rho) * x.row(0);
  whitened.bottomRows(x.rows() - 1) = x.bottomRows(x.rows() - 1) - rho * x.topRows(x.rows() - 1);
  return whitened;
}

double expectedResidualAutocorrelation(const LinearModel& model, double rho) {
  const Eigen::MatrixXd& x = model.design();
  const Eigen::MatrixXd& g = model.inverseGram();
  const Eigen::Index n = x.rows();
  const Eigen::MatrixXd rx = ar1CorrelationTimes(x, rho);
  // D X and D' X: X moved up and down by one volume.
  Eigen::MatrixXd up = Eigen::MatrixXd::Zero(n, x.cols());
  Eigen::MatrixXd down = Eigen::MatrixXd::Zero(n, x.cols());
  up.topRows(n - 1) = x.bottomRows(n - 1);
  down.bottomRows(n - 1) = x.topRows(n - 1);
  const Eigen::MatrixXd xrx = x.transpose() * rx;
  // trace(M R M) = trace(M R) = n - trace(G X'RX).
  const double variance = static_cast<double>(n) - (g * xrx).trace();
  // trace(D M R M) = trace(D R) - trace(D H R) - trace(D R H) + trace(D H R H), H = X G X'.
  const double lagOne = static_cast<double>(n - 1) * rho - (g * rx.transpose() * up).trace() -
                        (g * down.transpose() * rx).trace() +
                        (g * (x.transpose() * up) * g * xrx).trace();
  return lagOne / variance;
}

double ar1FromResidualAutocorrelation(const LinearModel& model, double observed) {
  const auto gap = [&](double rho) { return expectedResidualAutocorrelation(model, rho) - observed; };
  const double lowGap = gap(-kMaxAr1);
  const double highGap = gap(kMaxAr1);
  if (!(lowGap < 0.0)) return -kMaxAr1;
  if (!(highGap > 0.0)) return kMaxAr1;
  std::uintmax_t iterations = 100;
  const auto [low, high] = boost::math::tools::toms748_solve(
      gap, -kMaxAr1, kMaxAr1, lowGap, highGap, boost::math::tools::eps_tolerance<double>(40),
      iterations);
  return (low + high) / 2.0;
}

}  // namespace cohortix::host
