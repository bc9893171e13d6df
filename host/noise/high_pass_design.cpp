#include "host/noise/high_pass_design.h"

#include <cmath>

#include "host/noise/monotone_solve.h"

namespace cohortix::host::noise {

HighPassDesign::HighPassDesign(int volumes, double repetitionTime, double cutoffSeconds)
    : volumes_(volumes),
      orders_(cosineOrders(volumes, repetitionTime, cutoffSeconds)),
      basis_(cosineBasis(volumes, orders_)) {
  const int n = volumes_;
  const double scale = 1.0 / std::sqrt(static_cast<double>(n));
  columns_.assign(orders_ + 1, std::vector<double>(n, scale));
  for (int k = 1; k <= orders_; ++k)
    for (int t = 0; t < n; ++t) columns_[k][t] = basis_[static_cast<std::size_t>(k - 1) * n + t] * scale;
  const int m = orders_ + 1;
  shifted_.assign(m, std::vector<double>(m, 0.0));
  for (int j = 0; j < m; ++j)
    for (int l = 0; l < m; ++l)
      for (int t = 0; t + 1 < n; ++t) shifted_[j][l] += columns_[j][t] * columns_[l][t + 1];
}

// With P = V Q and C = Q'P, the residuals' covariance is R V R = V - QP' - PQ' + QCQ';
// its trace and the sum of its first superdiagonal are the expected moments.
ResidualMoments HighPassDesign::momentsOf(const std::vector<std::vector<double>>& product,
                                          double gamma0, double gamma1,
                                          std::vector<double>* projections) const {
  const int n = volumes_;
  const int m = orders_ + 1;
  std::vector<std::vector<double>> c(m, std::vector<double>(m, 0.0));
  for (int j = 0; j < m; ++j)
    for (int l = 0; l < m; ++l)
      for (int t = 0; t < n; ++t) c[j][l] += columns_[j][t] * product[l][t];
  double trace = 0.0, cross = 0.0, inner = 0.0;
  for (int j = 0; j < m; ++j) {
    trace += c[j][j];
    for (int t = 0; t + 1 < n; ++t)
      cross += columns_[j][t] * product[j][t + 1] + product[j][t] * columns_[j][t + 1];
    for (int l = 0; l < m; ++l) inner += c[j][l] * shifted_[j][l];
  }
  if (projections) {
    projections->assign(orders_, 0.0);
    for (int k = 1; k <= orders_; ++k) (*projections)[k - 1] = c[k][k] / n;
  }
  const double dof = degreesOfFreedom();
  return {(n * gamma0 - trace) / dof, ((n - 1) * gamma1 - cross + inner) / dof};
}

ResidualMoments HighPassDesign::expectedMoments(const std::vector<double>& autocovariance,
                                                std::vector<double>* projections) const {
  const int n = volumes_;
  std::vector<std::vector<double>> product(orders_ + 1, std::vector<double>(n, 0.0));
  for (int j = 0; j <= orders_; ++j)
    for (int t = 0; t < n; ++t) {
      double sum = 0.0;
      for (int s = 0; s < n; ++s) sum += autocovariance[std::abs(t - s)] * columns_[j][s];
      product[j][t] = sum;
    }
  return momentsOf(product, autocovariance[0], n > 1 ? autocovariance[1] : 0.0, projections);
}

// V_st = rho^|s - t|: V q is a forward plus a backward first-order recursion.
ResidualMoments HighPassDesign::expectedMomentsOfAr1(double rho,
                                                     std::vector<double>* projections) const {
  const int n = volumes_;
  std::vector<std::vector<double>> product(orders_ + 1, std::vector<double>(n, 0.0));
  std::vector<double> backward(n);
  for (int j = 0; j <= orders_; ++j) {
    const std::vector<double>& q = columns_[j];
    backward[n - 1] = q[n - 1];
    for (int t = n - 2; t >= 0; --t) backward[t] = q[t] + rho * backward[t + 1];
    double forward = 0.0;
    for (int t = 0; t < n; ++t) {
      forward = q[t] + rho * forward;
      product[j][t] = forward + backward[t] - q[t];
    }
  }
  return momentsOf(product, 1.0, rho, projections);
}

double HighPassDesign::ar1OfRatio(double ratio) const {
  return solveIncreasing(
      [this](double rho) {
        const ResidualMoments moments = expectedMomentsOfAr1(rho);
        return moments.lag1 / moments.lag0;
      },
      ratio, -0.999, 0.999, 1e-10);
}

}  // namespace cohortix::host::noise
