#include "host/session/component_recorder.h"

namespace cohortix::host {

ComponentRecorder::ComponentRecorder(SubjectComponents& subject, std::size_t voxels)
    : subject_(subject) {
  subject_.regions.clear();
  subject_.voxelBaseline.assign(voxels, 0.0f);
  subject_.finalRegion.assign(voxels, 0);
}

// A voxel number past the box the recorder was made for is not the VTC's: dropped.
void ComponentRecorder::wholeVolumeBaseline(std::size_t voxel, float F) {
  if (voxel < subject_.voxelBaseline.size()) subject_.voxelBaseline[voxel] = F;
}

RegionComponents& ComponentRecorder::region(int32_t r) {
  const auto index = static_cast<std::size_t>(r);
  if (subject_.regions.size() <= index) subject_.regions.resize(index + 1);
  return subject_.regions[index];
}

void ComponentRecorder::cellEffect(int32_t r, int32_t /*p*/, float tableValue, float received) {
  region(r).effects.push_back({tableValue, received});
}

void ComponentRecorder::regionPlaced(int32_t r, const RegionPlacement& placement) {
  region(r).placement = placement;
}

void ComponentRecorder::regionVoxel(int32_t r, std::size_t voxel, float F) {
  if (voxel >= subject_.finalRegion.size()) return;
  const int16_t before = subject_.finalRegion[voxel];
  if (before > 0 && before != r + 1)
    ++subject_.regions[static_cast<std::size_t>(before - 1)].voxelsOverwritten;
  region(r).voxels.push_back(static_cast<uint32_t>(voxel));
  subject_.finalRegion[voxel] = static_cast<int16_t>(r + 1);
  subject_.voxelBaseline[voxel] = F;
}

}  // namespace cohortix::host
