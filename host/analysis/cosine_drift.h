#pragma once
// The slow drifts a high-pass filter removes, as regressors of the first-level
// model: the discrete cosine basis of the run. Column k (k = 1..K) at volume t
// (0-based) is sqrt(2/n) cos(pi k (t + 1/2) / n); its period is 2 n TR / k
// seconds, and K = floor(2 n TR / cutoff) takes every cosine whose period is at
// least the cutoff. The constant (k = 0) is the model's intercept.

#include <Eigen/Dense>
#include <cstdint>

namespace cohortix::host {

// K for a run of n volumes; 0 for a cutoff of 0 (no high-pass filter). Never more
// than n - 1.
int32_t cosineDriftCount(int32_t volumes, double repetitionTime, double cutoffSeconds);

// n x K: the cosines above.
Eigen::MatrixXd cosineDriftBasis(int32_t volumes, double repetitionTime, double cutoffSeconds);

}  // namespace cohortix::host
