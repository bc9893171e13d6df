#pragma once
// The process-wide state behind uniformDeviate and gaussianDeviate as one record.
// The block path works on a copy of it and writes the copy back; tests read it,
// set it and return it to its load-time value. Not part of the plug-in's interface.

#include <cstdint>

namespace cohortix {

inline constexpr int kShuffleTableSize = 32;

struct RandomState {
  int32_t ShuffleTable[kShuffleTableSize];
  int32_t LastShuffleOutput;  // 0: never initialised
  float CachedDeviate;
  int32_t HasCachedDeviate;
};

RandomState saveRandomState();
void restoreRandomState(const RandomState& state);

// Back to the state at load: table and last output zero, no cached deviate.
void resetRandomSources();

// True when the next uniform draw must first refill the shuffle table.
bool needsReinitialisation(const RandomState& state, int32_t RandomSeed);

// Refills the shuffle table from RandomSeed (negated; 1 when that is below 1).
void reinitialise(RandomState& state, int32_t& RandomSeed);

}  // namespace cohortix
