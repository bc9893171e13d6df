#pragma once
// The natural logarithm of a positive float, computed in double and rounded once
// to float: within one ulp of the exact value. Written once over lanes
// (float_lanes.h), so the plain function and the batch kernels give the same bits.

#include <cstdint>

#include "simulation/random/float_lanes.h"

namespace cohortix::logarithm {

// ln 2 as the double nearest to it.
inline constexpr double kLn2 = 0.6931471805599453;

// Adding this to the bits of x moves mantissas from sqrt(1/2) .. sqrt(2) onto one
// exponent, so that the reduced argument m stays within sqrt(1/2) .. sqrt(2).
inline constexpr int32_t kSqrtHalfBits = 0x3F3504F3;
inline constexpr int32_t kReductionOffset = 0x3F800000 - kSqrtHalfBits;
inline constexpr int32_t kMantissaMask = 0x007FFFFF;
inline constexpr int32_t kSmallestNormalBits = 0x00800000;

// ln(m) = 2 atanh(t) with t = (m - 1) / (m + 1), |t| <= 0.1716: the series
// 2t (1 + t^2/3 + t^4/5 + ...) cut after t^14/15 leaves a relative error below
// 4e-14. Evaluated in Estrin's order, whose short dependency chains let a
// processor overlap several evaluations.
template <class D>
[[gnu::always_inline]] inline D atanhSeries(D t) {
  const D z = t * t;
  const D z2 = z * z;
  const D z4 = z2 * z2;
  const D p01 = z * (1.0 / 3.0) + 1.0;
  const D p23 = z * (1.0 / 7.0) + 1.0 / 5.0;
  const D p45 = z * (1.0 / 11.0) + 1.0 / 9.0;
  const D p67 = z * (1.0 / 15.0) + 1.0 / 13.0;
  const D p03 = p23 * z2 + p01;
  const D p47 = p67 * z2 + p45;
  return (t + t) * (p47 * z4 + p03);
}

// (m - 1) / (m + 1): both exact in double.
template <class F, class D>
[[gnu::always_inline]] inline D reducedArgument(F m) {
  using lanes::widen;
  const D md = widen(m);
  return (md - 1.0) / (md + 1.0);
}

// x positive and finite, subnormals included. F, I and D are the float, int32 and
// double lane types of one width.
template <class F, class I, class D>
[[gnu::always_inline]] inline F logOfPositive(F x) {
  using namespace lanes;
  I bits = bitsOf(x);
  const I subnormal = bits < kSmallestNormalBits;
  bits = select(subnormal, bitsOf(x * 0x1p23f), bits);
  const I bias = select(subnormal, I{} + (127 + 23), I{} + 127);
  bits = bits + kReductionOffset;
  const I exponent = (bits >> 23) - bias;
  const F m = floatOf((bits & kMantissaMask) + kSqrtHalfBits);
  return narrow(widen(exponent) * kLn2 + atanhSeries(reducedArgument<F, D>(m)));
}

}  // namespace cohortix::logarithm
