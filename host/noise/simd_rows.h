#pragma once
// Row arithmetic on runs of floats whose length is a multiple of 8, written with
// the compiler's vector types so it vectorises at any optimisation level. Every
// lane does the same IEEE operations in the same order as the scalar formula, so
// the results do not depend on the instruction set.

#include <cstddef>
#include <cstring>

namespace cohortix::host::noise {

inline constexpr std::size_t kRowLanes = 8;

// n rounded up to a multiple of kRowLanes.
inline std::size_t paddedLength(std::size_t n) { return (n + kRowLanes - 1) / kRowLanes * kRowLanes; }

namespace rows {

typedef float Lanes __attribute__((vector_size(32)));

// y = a x
inline void setScaled(float* y, const float* x, float a, std::size_t n) {
  for (std::size_t i = 0; i < n; i += kRowLanes) {
    Lanes xv;
    std::memcpy(&xv, x + i, sizeof xv);
    const Lanes yv = a * xv;
    std::memcpy(y + i, &yv, sizeof yv);
  }
}

// y = y + a x
inline void addScaled(float* y, const float* x, float a, std::size_t n) {
  for (std::size_t i = 0; i < n; i += kRowLanes) {
    Lanes xv, yv;
    std::memcpy(&xv, x + i, sizeof xv);
    std::memcpy(&yv, y + i, sizeof yv);
    yv = yv + a * xv;
    std::memcpy(y + i, &yv, sizeof yv);
  }
}

}  // namespace rows
}  // namespace cohortix::host::noise
