#pragma once
// The state behind uniformDeviate and gaussianDeviate as one record. The plug-in
// draws from one process-wide state that lives as long as the library; any other
// caller may keep states of its own and draw from them with the same functions,
// getting the plug-in's numbers from a copy of its state.

#include <cstdint>

namespace cohortix {

inline constexpr int kShuffleTableSize = 32;

// A zeroed record is the state of a freshly loaded module: never initialised, no
// cached deviate. Copies are independent streams.
struct RandomState {
  int32_t ShuffleTable[kShuffleTableSize] = {};
  int32_t LastShuffleOutput = 0;  // 0: never initialised
  float CachedDeviate = 0.0f;
  int32_t HasCachedDeviate = 0;
};

// The process-wide state that the plug-in's run draws from.
RandomState& processRandomState();

RandomState saveRandomState();
void restoreRandomState(const RandomState& state);

// Back to the state at load: table and last output zero, no cached deviate.
void resetRandomSources();

// True when the next uniform draw must first refill the shuffle table.
bool needsReinitialisation(const RandomState& state, int32_t RandomSeed);

// Refills the shuffle table from RandomSeed (negated; 1 when that is below 1).
void reinitialise(RandomState& state, int32_t& RandomSeed);

}  // namespace cohortix
