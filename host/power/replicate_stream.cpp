#include "host/power/replicate_stream.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "control/round_half_up.h"
#include "control/vtc_geometry.h"

namespace cohortix::host {
namespace {

constexpr uint64_t kModulus = 2147483647;
constexpr uint64_t kMultiplier = 16807;

uint64_t saturated(double value) {
  return value >= 1.8e19 ? UINT64_MAX : static_cast<uint64_t>(std::ceil(value));
}

}  // namespace

uint64_t replicateOffset(int32_t replicate) {
  return static_cast<uint64_t>(std::max(replicate, 0)) * kReplicateStride % kGeneratorCycle;  // below 2^62
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
  std::vector<uint64_t> starts;
  for (int32_t r = 0; r < std::max(replicates, 1); ++r) starts.push_back(replicateOffset(r));
  std::sort(starts.begin(), starts.end());
  uint64_t spacing = kGeneratorCycle - starts.back() + starts.front();
  for (std::size_t i = 1; i < starts.size(); ++i) spacing = std::min(spacing, starts[i] - starts[i - 1]);
  return spacing;
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
