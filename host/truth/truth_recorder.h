#pragma once
// Keeps what the subject model tells its observer as the subject's truth.

#include "host/truth/subject_truth.h"
#include "simulation/subject_model.h"

namespace cohortix::host::truth {

class TruthRecorder final : public SubjectObserver {
 public:
  // truth's voxel arrays are sized for `voxels` and cleared.
  TruthRecorder(SubjectTruth& truth, std::size_t voxels);

  void subjectLevels(const SubjectLevels& levels) override { truth_.levels = levels; }
  void wholeVolumeBaseline(std::size_t voxel, float F) override { truth_.voxelBaseline[voxel] = F; }
  void cellEffect(int32_t r, int32_t p, float tableValue, float received) override;
  void regionPlaced(int32_t r, const RegionPlacement& placement) override;
  void regionVoxel(int32_t r, std::size_t voxel, float F) override;

 private:
  RegionTruth& region(int32_t r);

  SubjectTruth& truth_;
};

}  // namespace cohortix::host::truth
