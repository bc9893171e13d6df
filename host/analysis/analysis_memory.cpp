#include "host/analysis/analysis_memory.h"

#include <algorithm>

namespace cohortix::host {
namespace {

// A subject's data as the file holds it, as the reader gives it and again
// time-fastest for the fit.
constexpr uint64_t kDataCopies = 3;
// What the command holds besides (code, libraries, stacks, arenas), measured
// under an address-space limit.
constexpr uint64_t kCommandBytes = uint64_t{64} << 20;
// Per voxel and effect of a subject's first level: beta, percent signal and t.
constexpr uint64_t kFirstLevelBytes = 3 * sizeof(float);
// Per voxel and effect and group: a mean and a sum of squared deviations.
constexpr uint64_t kMomentBytes = 2 * sizeof(double);
// Per voxel besides: the mask, the residual variance, the map being written.
constexpr uint64_t kVoxelBytes = 1 + 2 * sizeof(float) + sizeof(double);

uint64_t count(int64_t n) { return static_cast<uint64_t>(std::max<int64_t>(n, 0)); }

}  // namespace

AnalysisMemoryNeed analysisMemoryNeedOf(const AnalysisShape& shape) {
  const uint64_t voxels = count(shape.voxels);
  const uint64_t effects = count(shape.effects);
  AnalysisMemoryNeed need;
  need.subjectBytes =
      saturatedSum(saturatedProduct({voxels, count(shape.volumes), sizeof(float), kDataCopies}),
                   saturatedProduct({voxels, saturatedSum(saturatedProduct({effects, kFirstLevelBytes}),
                                                          kVoxelBytes)}));
  need.groupBytes = saturatedProduct({voxels, effects, std::max<uint64_t>(count(shape.groups), 1), kMomentBytes});
  if (shape.keepsSubjectValues)
    need.groupBytes = saturatedSum(
        need.groupBytes, saturatedProduct({voxels, effects, count(shape.subjects), sizeof(float)}));
  need.totalBytes = saturatedSum(saturatedSum(need.subjectBytes, need.groupBytes), kCommandBytes);
  return need;
}

Status checkAnalysisMemory(const AnalysisMemoryNeed& need, const MemoryLimit& limit) {
  if (limit.bytes == 0 || need.totalBytes <= limit.bytes) return Status::ok();
  return Status::error("the analysis needs about " + byteSize(need.totalBytes) + " of memory (" +
                       byteSize(need.subjectBytes) + " for one subject's data and first level, " +
                       byteSize(need.groupBytes) + " for the group level) but may use " +
                       byteSize(limit.bytes) + ", " + limit.what +
                       "; give the process more, or analyse fewer contrasts or a smaller box");
}

}  // namespace cohortix::host
