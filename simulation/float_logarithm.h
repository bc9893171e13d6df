#pragma once
// The natural logarithm of a positive float, computed in double and rounded once
// to float, so that it stays within one ulp of the exact value. It is written once
// over "lanes": a lane type is either a plain float or a GCC vector of floats, and
// every lane type runs the same operations in the same order without fused
// multiply-adds. A plain call and every vector width therefore give the same bits,
// on every x86-64 machine.

#include <bit>
#include <cstdint>

// The helpers and templates are always inlined, so how a compiler would pass a
// 32-byte vector between functions built without AVX never matters.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"

namespace cohortix::logarithm {

// Plain lanes: one value.
inline int32_t bitsOf(float x) { return std::bit_cast<int32_t>(x); }
inline float floatOf(int32_t bits) { return std::bit_cast<float>(bits); }
inline double widen(float x) { return x; }
inline double widen(int32_t x) { return x; }
inline float narrow(double x) { return static_cast<float>(x); }
inline int32_t select(bool mask, int32_t a, int32_t b) { return mask ? a : b; }

// Vector lanes: four values. The doubles fill one AVX register, or two SSE2 ones.
typedef float Float4 __attribute__((vector_size(16)));
typedef int32_t Int4 __attribute__((vector_size(16)));
typedef double Double4 __attribute__((vector_size(32)));

[[gnu::always_inline]] inline Int4 bitsOf(Float4 x) { return reinterpret_cast<Int4>(x); }
[[gnu::always_inline]] inline Float4 floatOf(Int4 bits) {
  return reinterpret_cast<Float4>(bits);
}
[[gnu::always_inline]] inline Double4 widen(Float4 x) {
  return __builtin_convertvector(x, Double4);
}
[[gnu::always_inline]] inline Double4 widen(Int4 x) {
  return __builtin_convertvector(x, Double4);
}
[[gnu::always_inline]] inline Float4 narrow(Double4 x) {
  return __builtin_convertvector(x, Float4);
}
[[gnu::always_inline]] inline Int4 select(Int4 mask, Int4 a, Int4 b) { return mask ? a : b; }

// ln 2 as the double nearest to it.
inline constexpr double kLn2 = 0.6931471805599453;

// Adding this to the bits of x moves mantissas from sqrt(1/2) .. sqrt(2) onto one
// exponent, so that the reduced argument m stays within sqrt(1/2) .. sqrt(2).
inline constexpr int32_t kSqrtHalfBits = 0x3F3504F3;
inline constexpr int32_t kReductionOffset = 0x3F800000 - kSqrtHalfBits;
inline constexpr int32_t kMantissaMask = 0x007FFFFF;
inline constexpr int32_t kSmallestNormalBits = 0x00800000;

// ln(m) = 2 atanh(t) with t = (m - 1) / (m + 1), |t| <= 0.1716: the series
// 2t (1 + t^2/3 + t^4/5 + ...) cut after t^16/17 leaves a relative error below 1e-15.
template <class D>
[[gnu::always_inline]] inline D atanhSeries(D t) {
  const D z = t * t;
  D p = z * (1.0 / 17.0) + 1.0 / 15.0;
  p = p * z + 1.0 / 13.0;
  p = p * z + 1.0 / 11.0;
  p = p * z + 1.0 / 9.0;
  p = p * z + 1.0 / 7.0;
  p = p * z + 1.0 / 5.0;
  p = p * z + 1.0 / 3.0;
  p = p * z + 1.0;
  return (t + t) * p;
}

// x positive and finite, subnormals included. F, I and D are the float, int32 and
// double lane types of one width.
template <class F, class I, class D>
[[gnu::always_inline]] inline F logOfPositive(F x) {
  I bits = bitsOf(x);
  const I subnormal = bits < kSmallestNormalBits;
  bits = select(subnormal, bitsOf(x * 0x1p23f), bits);
  const I bias = select(subnormal, I{} + (127 + 23), I{} + 127);
  bits = bits + kReductionOffset;
  const I exponent = (bits >> 23) - bias;
  const F m = floatOf((bits & kMantissaMask) + kSqrtHalfBits);
  const D f = widen(m) - 1.0;
  const D t = f / (f + 2.0);
  return narrow(widen(exponent) * kLn2 + atanhSeries(t));
}

// The square of the polar method's factor, -2 ln(s) / s, from the float logarithm
// of s; the caller takes the square root in double and rounds it to float.
template <class F, class I, class D>
[[gnu::always_inline]] inline D polarFactorSquared(F s) {
  return (-2.0 * widen(logOfPositive<F, I, D>(s))) / widen(s);
}

}  // namespace cohortix::logarithm

#pragma GCC diagnostic pop
