#pragma once
// The run's random streams: the minimal-standard generator behind a 32-entry
// shuffle table, Gaussian deviates by the polar method, and the trial-order
// permutation drawn from the C library's rand(). The uniform and Gaussian
// deviates come from an explicit RandomState, or from the process-wide one that
// survives runs, the cached Gaussian deviate included.

#include <cstdint>

#include "simulation/random/random_state.h"

namespace cohortix {

// One step of 16807 * s mod 2147483647 by Schrage's method; s in 1 .. 2147483646.
int32_t schrageStep(int32_t s);

// A uniform deviate in (0, 1); RandomSeed <= 0 asks for re-initialisation.
float uniformDeviate(RandomState& state, int32_t& RandomSeed);
// The same from the process-wide state.
float uniformDeviate(int32_t& RandomSeed);

// A standard normal deviate; pairs are made by the polar method, the second cached.
float gaussianDeviate(RandomState& state, int32_t& RandomSeed);
// The same from the process-wide state.
float gaussianDeviate(int32_t& RandomSeed);

// Writes a random permutation of 0 .. n-1 into out (n entries); n <= 0 writes nothing.
void randomPermutation(int32_t n, int32_t* out);

float sqrtFloat(float x);
float logFloat(float x);

}  // namespace cohortix
