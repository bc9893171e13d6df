#pragma once
// Autoregressive processes of unit variance, AR(p): x_t = sum_j phi_j x_{t-j} + s e_t
// with white e of unit variance and s chosen so that x has unit variance. A series
// starts from the stationary distribution (its first p values drawn with the
// process's own covariance), so every volume has the same variance and the same
// autocorrelation, the first ones included.

#include <cstddef>
#include <vector>

#include "host/io/status.h"

namespace cohortix::host::noise {

inline constexpr int kMaxArOrder = 8;

class ArProcess {
 public:
  ArProcess() = default;  // white noise: no coefficients
  // Refuses more than kMaxArOrder coefficients and coefficients of a process that is
  // not stationary.
  static Result<ArProcess> create(std::vector<double> coefficients);

  int order() const { return static_cast<int>(coefficients_.size()); }
  const std::vector<double>& coefficients() const { return coefficients_; }
  // Correlation of x_t and x_{t+h} for h = 0 .. maxLag.
  std::vector<double> autocorrelation(int maxLag) const;
  // The SD s of the innovations.
  double innovationSD() const { return innovationSD_; }

  // Turns white deviates into the process, in place. `state` holds the order()
  // values before x[0], oldest first; with `start` the series begins at x[0] and the
  // state is ignored on entry. On return the state holds the last values. A series
  // started needs at least order() values in its first call.
  void filter(float* x, std::size_t count, float* state, bool start) const;
  // The same for `series` series at x, x + stride, ..., their states one after the
  // other (order() values each). The same values as filter() on each; the series
  // are stepped side by side, so their recursions overlap in the processor.
  void filterSeries(float* x, std::size_t stride, int series, std::size_t count, float* states,
                    bool start) const;

 private:
  std::vector<double> coefficients_;
  std::vector<double> correlations_;  // lags 0 .. p
  std::vector<double> startFactor_;   // p x p lower Cholesky factor of the stationary covariance
  double innovationSD_ = 1.0;
};

}  // namespace cohortix::host::noise
