#pragma once
// Where each replicate of a power analysis takes its random numbers: a point of
// the plug-in's own generator cycle that any process computes directly, without
// simulating the replicates before it.
//
// The plug-in's uniforms come from the minimal-standard generator x -> 16807 x mod
// (2^31 - 1), whose states from 1 run through a cycle of C = 2^31 - 2 before they
// repeat, shuffled through a 32-entry table. Replicate r starts at the cycle's
// position
//
//     offset(r) = floor(b(r) C / 2^32),
//
// b(r) being r's 32 bits in reverse order (the base-2 van der Corput sequence):
// 0, C/2, C/4, 3C/4, C/8, ... so the first R replicates' starts lie at least
// floor(C / 2^ceil(log2 R)) apart, whatever R is, and replicate r's start does not
// depend on R. Its state x(r) = 16807^offset(r) mod (2^31 - 1) is one modular power
// (the generator's jump-ahead). The replicate's stream is the generator seeded with
// x(r), its shuffle table filled there the way the plug-in's own seeding fills it
// (eight warm-up steps, then 32 entries); the plug-in's model makes the
// replicate's subjects from it one after the other in its run order. Replicate 0
// starts at state 1 with an empty table: the plug-in's own start, so replicate 0 is
// the study exactly as the plug-in runs it.

#include <cstdint>

#include "control/simulation_design.h"
#include "simulation/random/random_state.h"

namespace cohortix::host {

// The generator's cycle: 2^31 - 2 states.
inline constexpr uint64_t kGeneratorCycle = 2147483646;
// Uniforms the seeding takes before the first draw: warm-up steps and the table.
inline constexpr uint64_t kSeedingSteps = 8 + kShuffleTableSize;

// Replicate r's position in the cycle (r >= 0).
uint64_t replicateOffset(int32_t replicate);

// The generator's state `steps` steps on from state 1.
int32_t generatorStateAfter(uint64_t steps);

// The random state and seed a replicate's first subject starts from: an empty
// table and RandomSeed = -x(r), which the first draw seeds exactly as the plug-in
// seeds its run with -1.
struct ReplicateStart {
  RandomState state{};
  int32_t RandomSeed = -1;
};
ReplicateStart replicateStart(int32_t replicate);

// How far apart along the cycle the starts of replicates 0 .. replicates - 1 lie
// at least: floor(C / 2^ceil(log2 replicates)), the whole cycle for one.
uint64_t replicateSpacing(int32_t replicates);

// At most how many uniforms one subject of the design draws, on average: its
// Gaussian deviates (the subject's baseline, every voxel's baseline and time
// course, each region's effects, centre and cube) at 4 / pi uniforms each (the
// polar method's two per attempted pair, pi / 4 of pairs accepted).
uint64_t uniformsPerSubject(const SimulationDesign& design);

// The uniforms a replicate of `subjects` per group draws, seeding included.
uint64_t uniformsPerReplicate(const SimulationDesign& design, int32_t subjects);

}  // namespace cohortix::host
