#pragma once
// The cosine basis of slow drifts, shared by the drift the model adds and by the
// high-pass filter of the estimators: phi_k(t) = sqrt(2) cos(pi k (t + 1/2) / n),
// k = 1 .. K, over the n volumes. Each has unit mean square and is orthogonal to the
// others and to the constant. K = floor(2 n TR / cutoff): the orders whose period
// 2 n TR / k is at least the cutoff (at most n - 2).

#include <vector>

namespace cohortix::host::noise {

inline constexpr double kDefaultCutoffSeconds = 128.0;

int cosineOrders(int volumes, double repetitionTime, double cutoffSeconds);

// orders x volumes values, row k - 1 holding phi_k.
std::vector<double> cosineBasis(int volumes, int orders);

}  // namespace cohortix::host::noise
