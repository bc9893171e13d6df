#include "host/power/power_memory.h"

#include <algorithm>
#include <string>

#include "control/vtc_geometry.h"
#include "host/analysis/map_threshold.h"

namespace cohortix::host {
namespace {

// Copies of one subject's data the run holds at once: the VTC document and its
// components, and one more for each of the host's noise and anatomy stages.
constexpr uint64_t kSubjectCopies = 2;
// Group moments per voxel and effect: a mean and a sum of squared deviations.
constexpr uint64_t kMomentBytes = 2 * sizeof(double);
// Per voxel besides: the mask byte and the received regions' bits.
constexpr uint64_t kVoxelBytes = 1 + sizeof(uint32_t);

uint64_t count(int64_t n) { return static_cast<uint64_t>(std::max<int64_t>(n, 0)); }

}  // namespace

PowerMemoryNeed powerMemoryNeedOf(const SimulationDesign& design, const PowerOptions& options) {
  const MemoryNeed subject = memoryNeedOf(design, false);
  const cohortix::VTCDims dims = vtcDims(vtcBoxOf(design));
  const uint64_t voxels = saturatedProduct({count(dims.DimX), count(dims.DimY), count(dims.DimZ)});
  const uint64_t groups = std::max<uint64_t>(count(design.NrOfGroups), 1);
  // Every cell, and at most as many factorial and asked contrasts again.
  const uint64_t effects = 2 * count(design.NrOfWithinCells) + options.analysis.contrasts.size();
  const int32_t largest =
      options.sampleSizes.empty() ? 0 : *std::max_element(options.sampleSizes.begin(), options.sampleSizes.end());
  PowerMemoryNeed need;
  need.perReplicateBytes = saturatedProduct({voxels, saturatedSum(saturatedProduct({groups, effects, kMomentBytes}),
                                                                   kVoxelBytes)});
  // A permutation test keeps every subject's effects until the replicate is scored.
  if (byPermutation(options.analysis.correction))
    need.perReplicateBytes = saturatedSum(
        need.perReplicateBytes, saturatedProduct({groups, count(largest), effects, voxels, sizeof(float)}));
  const uint64_t sets = oneRunServesEverySize(design) ? 1 : options.sampleSizes.size();
  need.threads = std::min<uint64_t>(count(powerThreads(options.jobs)),
                                    saturatedProduct({sets, count(options.replicates)}));
  need.threads = std::max<uint64_t>(need.threads, 1);
  const uint64_t perThread = oneRunServesEverySize(design) ? options.sampleSizes.size() : 1;
  need.replicatesHeld = saturatedProduct({need.threads, perThread});
  const uint64_t copies = kSubjectCopies + (options.noise ? 1 : 0) + (options.anatomy ? 1 : 0);
  need.totalBytes = saturatedSum(
      saturatedSum(saturatedProduct({subject.vtcBytes, copies, need.threads}), processBytes()),
      saturatedProduct({need.perReplicateBytes, need.replicatesHeld}));
  return need;
}

Status checkPowerMemory(const PowerMemoryNeed& need, const MemoryLimit& limit) {
  if (limit.bytes == 0 || need.totalBytes <= limit.bytes) return Status::ok();
  std::string held = std::to_string(need.replicatesHeld) + " replicate" + (need.replicatesHeld == 1 ? "" : "s");
  return Status::error("the power analysis needs about " + byteSize(need.totalBytes) + " of memory (" +
                       byteSize(need.perReplicateBytes) + " for each of the " + held + " its " +
                       std::to_string(need.threads) + (need.threads == 1 ? " thread holds" : " threads hold") +
                       " at once) but may use " + byteSize(limit.bytes) + ", " + limit.what +
                       "; use fewer --jobs or sample sizes, or a coarser resolution or smaller box");
}

}  // namespace cohortix::host
