#pragma once
// Row arithmetic of the noise model on runs of floats. Every lane does the same
// IEEE operations in the same order as the scalar formula, on every code path
// (AVX2 when the processor has it, SSE2 otherwise), so the results do not depend
// on the instruction set.

#include <cstddef>

namespace cohortix::host::noise {

inline constexpr std::size_t kRowLanes = 8;

// n rounded up to a multiple of kRowLanes.
inline std::size_t paddedLength(std::size_t n) { return (n + kRowLanes - 1) / kRowLanes * kRowLanes; }

namespace rows {

// y = sum_j w_j x_j over `taps` rows (at least one), summed in the order j = 0, 1,
// ...; n a multiple of kRowLanes.
void weightedSum(float* y, const float* const* x, const float* w, int taps, std::size_t n);

// y = (y + a x) + b z, any n; z may be null (b z left out).
void addTwoScaled(float* y, const float* x, float a, const float* z, float b, std::size_t n);

// y = sqrt(y^2 + (b z)^2), any n: the magnitude of y + i b z.
void magnitude(float* y, const float* z, float b, std::size_t n);

// The SSE2 path alone, whatever the processor (for tests).
void weightedSumSse2(float* y, const float* const* x, const float* w, int taps, std::size_t n);

}  // namespace rows
}  // namespace cohortix::host::noise
