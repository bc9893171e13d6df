#pragma once
// Rounding to the nearest integer with halves upwards: how a region's centre lands
// on a VTC voxel, how far its jitter moves it and how wide its cube is.

#include <cstdint>

namespace cohortix {

// floor(x + 0.5) as a 32-bit integer. Outside the int32 range the result
// saturates, and NaN gives 0, instead of an undefined conversion.
int32_t roundHalfUp(double x);

}  // namespace cohortix
