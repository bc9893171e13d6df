#pragma once
// Where each replicate of a power analysis takes its random numbers: a point of
// the plug-in's own generator cycle that any process computes directly, without
// simulating the replicates before it.
//
// The plug-in's uniforms come from the minimal-standard generator x -> 16807 x mod
// p, p = 2^31 - 1, whose states from 1 run through a cycle of C = 2^31 - 2 before
// they repeat, shuffled through a 32-entry table. Replicate r starts at the
// cycle's position
//
//     offset(r) = r G mod C,   G = 1,327,217,887,
//
// G being the integer nearest C / phi (phi the golden ratio) that is prime to C,
// so no two replicates start at the same place and, for R up to 10,000, the first
// R starts lie at least 0.44 C / R apart (replicateSpacing says how far for any
// R; beyond 10,000 G / C no longer follows 1 / phi and starts crowd); replicate
// r's start
// does not depend on R. Its state x(r) = 16807^offset(r) mod p is one modular
// power (the generator's jump-ahead). The replicate's stream is the generator
// seeded with x(r), its shuffle table filled there the way the plug-in's own
// seeding fills it (eight warm-up steps, then 32 entries); the plug-in's model
// makes the replicate's subjects from it one after the other in its run order.
// Replicate 0 starts at state 1 with an empty table: the plug-in's own start, so
// replicate 0 is the study exactly as the plug-in runs it.
//
// The states of replicates d apart are those of the same cycle times the constant
// c = 16807^(d G) mod p, and their uniforms correlate as 12 s(c, p) / p (s the
// Dedekind sum): 1 for c = 1, -1 for c = p - 1, which is where a jump of half the
// cycle lands (antithetic streams), about 0 for a c far from every fraction of p
// with a small denominator. With this stride it stays below 0.001 for every d up
// to 200,000 and below 0.006 up to a million.

#include <cstdint>

#include "control/simulation_design.h"
#include "simulation/random/random_state.h"

namespace cohortix::host {

// The generator's cycle: 2^31 - 2 states.
inline constexpr uint64_t kGeneratorCycle = 2147483646;
// Uniforms the seeding takes before the first draw: warm-up steps and the table.
inline constexpr uint64_t kSeedingSteps = 8 + kShuffleTableSize;

// The stride between consecutive replicates' starts.
inline constexpr uint64_t kReplicateStride = 1327217887;

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

// The shortest distance along the cycle from the start of one of replicates
// 0 .. replicates - 1 to the next one's (the whole cycle for one replicate).
uint64_t replicateSpacing(int32_t replicates);

// At most how many uniforms one subject of the design draws, on average: its
// Gaussian deviates (the subject's baseline, every voxel's baseline and time
// course, each region's effects, centre and cube) at 4 / pi uniforms each (the
// polar method's two per attempted pair, pi / 4 of pairs accepted).
uint64_t uniformsPerSubject(const SimulationDesign& design);

// The uniforms a replicate of `subjects` per group draws, seeding included.
uint64_t uniformsPerReplicate(const SimulationDesign& design, int32_t subjects);

}  // namespace cohortix::host
