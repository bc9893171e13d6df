#pragma once
// The minimal-standard generator's states computed ahead in independent lanes:
// lane j holds every state whose position is j modulo the lane count, and a lane
// moves on by the multiplier raised to that count. The lanes share no dependency,
// so a processor can advance them all at once.

#include <cstddef>
#include <cstdint>

namespace cohortix {

// out[k] = the state after k + 1 steps of schrageStep from s, for k < n; s in
// 1 .. 2147483646.
void minimalStandardStates(int32_t s, int32_t* out, std::size_t n);

}  // namespace cohortix
