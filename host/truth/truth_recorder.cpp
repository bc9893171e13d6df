#include "host/truth/truth_recorder.h"

namespace cohortix::host::truth {

float SubjectTruth::effectAt(std::size_t voxel, std::size_t p) const {
  const int16_t label = finalRegion[voxel];
  if (label <= 0) return 0.0f;
  const std::vector<CellEffect>& effects = regions[static_cast<std::size_t>(label - 1)].effects;
  return p < effects.size() ? effects[p].received : 0.0f;
}

TruthRecorder::TruthRecorder(SubjectTruth& truth, std::size_t voxels) : truth_(truth) {
  truth_.regions.clear();
  truth_.voxelBaseline.assign(voxels, 0.0f);
  truth_.finalRegion.assign(voxels, 0);
}

RegionTruth& TruthRecorder::region(int32_t r) {
  const auto index = static_cast<std::size_t>(r);
  if (truth_.regions.size() <= index) truth_.regions.resize(index + 1);
  return truth_.regions[index];
}

void TruthRecorder::cellEffect(int32_t r, int32_t /*p*/, float tableValue, float received) {
  region(r).effects.push_back({tableValue, received});
}

void TruthRecorder::regionPlaced(int32_t r, const RegionPlacement& placement) {
  region(r).placement = placement;
}

void TruthRecorder::regionVoxel(int32_t r, std::size_t voxel, float F) {
  const int16_t before = truth_.finalRegion[voxel];
  if (before > 0 && before != r + 1)
    ++truth_.regions[static_cast<std::size_t>(before - 1)].voxelsOverwritten;
  ++region(r).voxelsWritten;
  truth_.finalRegion[voxel] = static_cast<int16_t>(r + 1);
  truth_.voxelBaseline[voxel] = F;
}

}  // namespace cohortix::host::truth
