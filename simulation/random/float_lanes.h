#pragma once
// Lanes: the arithmetic of the block path is written once over lane types, which
// are either plain values or GCC vectors of four. Every lane type runs the same
// IEEE operations in the same order, without fused multiply-adds, so a plain call
// and every vector width give the same bits on every x86-64 machine.

#include <bit>
#include <cstdint>

// The helpers are always inlined, so how a compiler would pass a 32-byte vector
// between functions built without AVX never matters.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"

namespace cohortix::lanes {

// Plain lanes: one value.
inline int32_t bitsOf(float x) { return std::bit_cast<int32_t>(x); }
inline float floatOf(int32_t bits) { return std::bit_cast<float>(bits); }
inline double widen(float x) { return x; }
inline double widen(int32_t x) { return x; }
inline float narrow(double x) { return static_cast<float>(x); }
inline int32_t select(bool mask, int32_t a, int32_t b) { return mask ? a : b; }
inline float select(bool mask, float a, float b) { return mask ? a : b; }

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
[[gnu::always_inline]] inline Float4 select(Int4 mask, Float4 a, Float4 b) {
  return mask ? a : b;
}

}  // namespace cohortix::lanes

#pragma GCC diagnostic pop
