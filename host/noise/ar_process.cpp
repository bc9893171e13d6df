#include "host/noise/ar_process.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <sstream>
#include <string>
#include <utility>

namespace cohortix::host::noise {
namespace {

std::string listOf(const std::vector<double>& values) {
  std::ostringstream text;
  text << '[';
  for (std::size_t i = 0; i < values.size(); ++i) text << (i ? ", " : "") << values[i];
  text << ']';
  return text.str();
}

// Levinson-Durbin run backwards: the process is stationary exactly when every
// partial autocorrelation lies strictly inside (-1, 1).
bool stationary(std::vector<double> a) {
  for (int k = static_cast<int>(a.size()); k >= 1; --k) {
    const double kappa = a[k - 1];
    if (!(std::fabs(kappa) < 1.0 - 1e-9)) return false;
    std::vector<double> lower(k - 1);
    for (int j = 1; j < k; ++j) lower[j - 1] = (a[j - 1] + kappa * a[k - j - 1]) / (1.0 - kappa * kappa);
    a = std::move(lower);
  }
  return true;
}

// Yule-Walker read the other way: the correlations rho_1 .. rho_p that the
// coefficients imply, from rho_k = sum_j phi_j rho_|k-j|, rho_0 = 1.
std::vector<double> correlationsOf(const std::vector<double>& phi) {
  const int p = static_cast<int>(phi.size());
  std::vector<std::vector<double>> system(p, std::vector<double>(p + 1, 0.0));
  for (int k = 1; k <= p; ++k) {
    std::vector<double>& row = system[k - 1];
    row[k - 1] += 1.0;
    for (int j = 1; j <= p; ++j) {
      const int lag = std::abs(k - j);
      if (lag == 0)
        row[p] += phi[j - 1];
      else
        row[lag - 1] -= phi[j - 1];
    }
  }
  for (int column = 0; column < p; ++column) {  // Gaussian elimination, partial pivoting
    int pivot = column;
    for (int r = column + 1; r < p; ++r)
      if (std::fabs(system[r][column]) > std::fabs(system[pivot][column])) pivot = r;
    std::swap(system[column], system[pivot]);
    for (int r = 0; r < p; ++r) {
      if (r == column) continue;
      const double factor = system[r][column] / system[column][column];
      for (int c = column; c <= p; ++c) system[r][c] -= factor * system[column][c];
    }
  }
  std::vector<double> rho(p + 1, 1.0);
  for (int k = 1; k <= p; ++k) rho[k] = system[k - 1][p] / system[k - 1][k - 1];
  return rho;
}

std::vector<double> choleskyOfToeplitz(const std::vector<double>& rho, int p) {
  std::vector<double> factor(static_cast<std::size_t>(p) * p, 0.0);
  for (int i = 0; i < p; ++i) {
    for (int j = 0; j <= i; ++j) {
      double sum = rho[std::abs(i - j)];
      for (int k = 0; k < j; ++k) sum -= factor[i * p + k] * factor[j * p + k];
      factor[i * p + j] = i == j ? std::sqrt(sum) : sum / factor[j * p + j];
    }
  }
  return factor;
}

}  // namespace

Result<ArProcess> ArProcess::create(std::vector<double> coefficients) {
  if (coefficients.size() > static_cast<std::size_t>(kMaxArOrder))
    return Status::error("expected at most " + std::to_string(kMaxArOrder) +
                         " autoregressive coefficients, found " + std::to_string(coefficients.size()));
  for (const double value : coefficients)
    if (!std::isfinite(value)) return Status::error("expected finite autoregressive coefficients, found " + listOf(coefficients));
  if (!stationary(coefficients))
    return Status::error("expected the coefficients of a stationary process, found " +
                         listOf(coefficients) + ", whose variance grows without bound");
  ArProcess process;
  process.coefficients_ = std::move(coefficients);
  const int p = process.order();
  process.correlations_ = correlationsOf(process.coefficients_);
  double explained = 0.0;
  for (int j = 1; j <= p; ++j) explained += process.coefficients_[j - 1] * process.correlations_[j];
  process.innovationSD_ = std::sqrt(std::max(0.0, 1.0 - explained));
  process.startFactor_ = choleskyOfToeplitz(process.correlations_, p);
  return process;
}

std::vector<double> ArProcess::autocorrelation(int maxLag) const {
  std::vector<double> rho(static_cast<std::size_t>(maxLag) + 1, 0.0);
  rho[0] = 1.0;
  const int p = order();
  for (int h = 1; h <= maxLag; ++h) {
    if (h <= p) {
      rho[h] = correlations_[h];
      continue;
    }
    double sum = 0.0;
    for (int j = 1; j <= p; ++j) sum += coefficients_[j - 1] * rho[h - j];
    rho[h] = sum;
  }
  return rho;
}

void ArProcess::filter(float* x, std::size_t count, float* state, bool start) const {
  const int p = order();
  if (p == 0 || count == 0) return;
  assert(!start || count >= static_cast<std::size_t>(p));
  const auto s = static_cast<float>(innovationSD_);
  std::size_t t = 0;
  if (start) {
    // The first p values: the stationary covariance's factor times the deviates.
    float first[kMaxArOrder];
    for (int i = 0; i < p && static_cast<std::size_t>(i) < count; ++i) {
      double sum = 0.0;
      for (int j = 0; j <= i; ++j) sum += startFactor_[i * p + j] * x[j];
      first[i] = static_cast<float>(sum);
    }
    for (int i = 0; i < p && static_cast<std::size_t>(i) < count; ++i) x[i] = first[i];
    t = static_cast<std::size_t>(p);
    for (int i = 0; i < p; ++i) state[i] = x[i];
  }
  if (p == 1) {
    const auto phi = static_cast<float>(coefficients_[0]);
    float previous = state[0];
    for (; t < count; ++t) previous = x[t] = phi * previous + s * x[t];
    state[0] = previous;
    return;
  }
  float phi[kMaxArOrder];
  for (int j = 0; j < p; ++j) phi[j] = static_cast<float>(coefficients_[j]);
  // history[0] is the oldest of the last p values.
  float history[kMaxArOrder];
  for (int i = 0; i < p; ++i) history[i] = state[i];
  for (; t < count; ++t) {
    float value = s * x[t];
    for (int j = 1; j <= p; ++j) value += phi[j - 1] * history[p - j];
    for (int i = 0; i + 1 < p; ++i) history[i] = history[i + 1];
    history[p - 1] = x[t] = value;
  }
  for (int i = 0; i < p; ++i) state[i] = history[i];
}

void ArProcess::filterSeries(float* x, std::size_t stride, int series, std::size_t count, float* states,
                             bool start) const {
  const int p = order();
  if (p == 0 || count == 0) return;
  if (p > 1) {
    for (int i = 0; i < series; ++i) filter(x + i * stride, count, states + i * p, start);
    return;
  }
  // AR(1): x_0 = e_0 at a start (the stationary SD is 1), then x_t = phi x_{t-1} + s e_t.
  const auto phi = static_cast<float>(coefficients_[0]);
  const auto s = static_cast<float>(innovationSD_);
  std::size_t t = 0;
  if (start) {
    for (int i = 0; i < series; ++i) states[i] = x[i * stride];
    t = 1;
  }
  for (; t < count; ++t)
    for (int i = 0; i < series; ++i) {
      float& value = x[i * stride + t];
      states[i] = value = phi * states[i] + s * value;
    }
}

}  // namespace cohortix::host::noise
