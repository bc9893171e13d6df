#include "host/power/replicate_stream.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "control/round_half_up.h"
#include "control/vtc_geometry.h"

namespace cohortix::host {
namespace {

constexpr uint64_t kModulus = 2147483647;
constexpr uint64_t kMultiplier = 16807;

uint32_t reversedBits(uint32_t r) {
  uint32_t reversed = 0;
  for (int bit = 0; bit < 32; ++bit, r >>= 1) reversed = (reversed << 1) | (r & 1U);
  return reversed;
}

uint64_t saturated(double value) {
  return value >= 1.8e19 ? UINT64_MAX : static_cast<uint64_t>(std::ceil(value));
}

}  // namespace

uint64_t replicateOffset(int32_t replicate) {
  const uint64_t fraction = reversedBits(static_cast<uint32_t>(std::max(replicate, 0)));
  return (fraction * kGeneratorCycle) >> 32;  // below 2^63: no overflow
}

int32_t generatorStateAfter(uint64_t steps) {
  uint64_t result = 1, base = kMultiplier;
  for (steps %= kGeneratorCycle; steps > 0; steps >>= 1) {
    if (steps & 1U) result = result * base % kModulus;
    base = base * base % kModulus;
  }
  return static_cast<int32_t>(result);
}

ReplicateStart replicateStart(int32_t replicate) {
  ReplicateStart start;
  start.RandomSeed = -generatorStateAfter(replicateOffset(replicate));
  return start;
}

uint64_t replicateSpacing(int32_t replicates) {
  // The first R starts are among floor(k C / 2^m), k < 2^m, 2^m >= R: neighbours
  // differ by floor(C / 2^m) or one more.
  int bits = 0;
  while ((int64_t{1} << bits) < replicates) ++bits;
  return kGeneratorCycle >> bits;
}

uint64_t uniformsPerSubject(const SimulationDesign& design) {
  const VTCDims dims = vtcDims(vtcBoxOf(design));
  const double volumes = std::max(design.NrOfVolumes, 0);
  double gaussians = 1.0 + static_cast<double>(voxelsInBox(dims)) * (1.0 + volumes);
  for (int32_t r = 0; r < design.NrOfRegions && r < kMaxRegions; ++r) {
    const double cube = 2.0 * std::max(roundHalfUp(static_cast<double>(design.Regions[r].Radius)), 0) + 1.0;
    gaussians += (design.EffectsPerGroup ? design.NrOfWithinCells : 0) + 3.0 + cube * cube * cube * (1.0 + volumes);
  }
  return saturated(gaussians * 4.0 / std::numbers::pi);
}

uint64_t uniformsPerReplicate(const SimulationDesign& design, int32_t subjects) {
  const double perSubject = static_cast<double>(uniformsPerSubject(design));
  return saturated(perSubject * std::max(design.NrOfGroups, 1) * std::max(subjects, 0) +
                   static_cast<double>(kSeedingSteps));
}

}  // namespace cohortix::host
