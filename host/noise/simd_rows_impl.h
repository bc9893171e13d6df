#pragma once
// The row kernels written once for any lane width; included by one source per
// instruction set, each supplying its lane type and square root. Everything here has
// internal linkage, so no copy compiled for one instruction set stands in for
// another.

#include <cmath>
#include <cstddef>
#include <cstring>

namespace cohortix::host::noise::rows {
namespace {

template <class L>
typename L::F load(const float* p) {
  typename L::F v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <class L>
void store(float* p, const typename L::F& v) {
  std::memcpy(p, &v, sizeof v);
}

template <class L>
void weightedSumWith(float* y, const float* const* x, const float* w, int taps, std::size_t n) {
  constexpr std::size_t k = L::kLanes;
  std::size_t i = 0;
  for (; i + 2 * k <= n; i += 2 * k) {
    typename L::F low = w[0] * load<L>(x[0] + i), high = w[0] * load<L>(x[0] + i + k);
    for (int j = 1; j < taps; ++j) {
      low = low + w[j] * load<L>(x[j] + i);
      high = high + w[j] * load<L>(x[j] + i + k);
    }
    store<L>(y + i, low);
    store<L>(y + i + k, high);
  }
  for (; i < n; i += k) {
    typename L::F sum = w[0] * load<L>(x[0] + i);
    for (int j = 1; j < taps; ++j) sum = sum + w[j] * load<L>(x[j] + i);
    store<L>(y + i, sum);
  }
}

template <class L>
void addTwoScaledWith(float* y, const float* x, float a, const float* z, float b, std::size_t n) {
  constexpr std::size_t k = L::kLanes;
  std::size_t i = 0;
  for (; i + k <= n; i += k) {
    typename L::F v = load<L>(y + i) + a * load<L>(x + i);
    if (z) v = v + b * load<L>(z + i);
    store<L>(y + i, v);
  }
  for (; i < n; ++i) {
    float v = y[i] + a * x[i];
    if (z) v = v + b * z[i];
    y[i] = v;
  }
}

template <class L>
void magnitudeWith(float* y, const float* z, float b, std::size_t n) {
  constexpr std::size_t k = L::kLanes;
  std::size_t i = 0;
  for (; i + k <= n; i += k) {
    const typename L::F v = load<L>(y + i), im = b * load<L>(z + i);
    store<L>(y + i, L::squareRoot(v * v + im * im));
  }
  for (; i < n; ++i) {
    const float im = b * z[i];
    y[i] = std::sqrt(y[i] * y[i] + im * im);
  }
}

}  // namespace
}  // namespace cohortix::host::noise::rows
