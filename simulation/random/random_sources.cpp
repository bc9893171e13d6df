#include "simulation/random/random_sources.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "simulation/random/float_logarithm.h"
#include "simulation/random/polar_method.h"

namespace cohortix {

namespace {

constexpr int32_t kMultiplier = 16807;
constexpr int32_t kSchrageQuotient = 127773;
constexpr int32_t kSchrageRemainder = 2836;
constexpr int kWarmUpSteps = 8;
constexpr int32_t kSlotDivisor = 1 + (kModulus - 1) / kShuffleTableSize;

// Zero at load: static storage, no code runs for it.
RandomState processState;

// Takes the table value in the slot chosen by the last one and leaves the newly
// generated value in its place.
int32_t shuffle(RandomState& state, int32_t generated) {
  const int32_t slot = state.LastShuffleOutput / kSlotDivisor;
  state.LastShuffleOutput = state.ShuffleTable[slot];
  state.ShuffleTable[slot] = generated;
  return state.LastShuffleOutput;
}

// The bodies of the deviates, inlined into both the explicit-state and the
// process-wide functions so that neither pays a call for the other.
[[gnu::always_inline]] inline float uniformFrom(RandomState& state, int32_t& RandomSeed) {
  if (needsReinitialisation(state, RandomSeed)) reinitialise(state, RandomSeed);
  RandomSeed = schrageStep(RandomSeed);
  return uniformFromTableValue(shuffle(state, RandomSeed));
}

[[gnu::always_inline]] inline float gaussianFrom(RandomState& state, int32_t& RandomSeed) {
  if (state.HasCachedDeviate != 0) {
    state.HasCachedDeviate = 0;
    return state.CachedDeviate;
  }
  float a = 0.0f, b = 0.0f, s = 0.0f;
  do {
    a = polarCoordinate(uniformFrom(state, RandomSeed));
    b = polarCoordinate(uniformFrom(state, RandomSeed));
    s = a * a + b * b;
  } while (!acceptPolarPair(s));
  const float f = polarFactor(s);
  state.CachedDeviate = a * f;
  state.HasCachedDeviate = 1;
  return b * f;
}

}  // namespace

RandomState& processRandomState() { return processState; }

RandomState saveRandomState() { return processState; }

void restoreRandomState(const RandomState& state) { processState = state; }

void resetRandomSources() { processState = RandomState{}; }

bool needsReinitialisation(const RandomState& state, int32_t RandomSeed) {
  return RandomSeed <= 0 || state.LastShuffleOutput == 0;
}

void reinitialise(RandomState& state, int32_t& RandomSeed) {
  // Negating INT32_MIN would overflow; it is below 1 after negation in spirit.
  RandomSeed = (RandomSeed == INT32_MIN || -RandomSeed < 1) ? 1 : -RandomSeed;
  for (int j = kShuffleTableSize + kWarmUpSteps - 1; j >= 0; --j) {
    RandomSeed = schrageStep(RandomSeed);
    if (j < kShuffleTableSize) state.ShuffleTable[j] = RandomSeed;
  }
  state.LastShuffleOutput = state.ShuffleTable[0];
}

int32_t schrageStep(int32_t s) {
  const int32_t k = s / kSchrageQuotient;
  s = kMultiplier * (s - k * kSchrageQuotient) - kSchrageRemainder * k;
  return s < 0 ? s + kModulus : s;
}

float uniformDeviate(RandomState& state, int32_t& RandomSeed) {
  return uniformFrom(state, RandomSeed);
}

float uniformDeviate(int32_t& RandomSeed) { return uniformFrom(processState, RandomSeed); }

float gaussianDeviate(RandomState& state, int32_t& RandomSeed) {
  return gaussianFrom(state, RandomSeed);
}

float gaussianDeviate(int32_t& RandomSeed) { return gaussianFrom(processState, RandomSeed); }

// The part of out not yet written serves as the working list, in order: the
// draws are those of a separate list, and nothing is allocated that could fail
// or outlive the call.
void randomPermutation(int32_t n, int32_t* out) {
  for (int32_t i = 0; i < n; ++i) out[i] = i;
  for (int32_t i = 0; i < n; ++i) {
    const int32_t k = std::rand() % (n - i);
    const int32_t chosen = out[i + k];
    std::memmove(out + i + 1, out + i, static_cast<std::size_t>(k) * sizeof(int32_t));
    out[i] = chosen;
  }
}

float sqrtFloat(float x) { return std::sqrt(x); }

// Zero, negative, infinite and NaN arguments get the results of the C library's
// logf; every other one goes through our own logarithm, which the block path
// shares.
float logFloat(float x) {
  if (std::isnan(x) || x == HUGE_VALF) return x;
  if (x < 0.0f) return std::numeric_limits<float>::quiet_NaN();
  if (x == 0.0f) return -HUGE_VALF;
  return logarithm::logOfPositive<float, int32_t, double>(x);
}

}  // namespace cohortix
