#pragma once
// Keeps what the subject model tells its observer as the subject's components:
// the plug-in's own report (SubjectReportRecorder) and a replay of its draws
// record through it alike.

#include "host/session/subject_components.h"
#include "simulation/subject_model.h"

namespace cohortix::host {

class ComponentRecorder final : public SubjectObserver {
 public:
  // subject's voxel arrays are sized for `voxels` and cleared, its regions dropped.
  ComponentRecorder(SubjectComponents& subject, std::size_t voxels);

  void subjectLevels(const SubjectLevels& levels) override { subject_.levels = levels; }
  void wholeVolumeBaseline(std::size_t voxel, float F) override;
  void cellEffect(int32_t r, int32_t p, float tableValue, float received) override;
  void regionPlaced(int32_t r, const RegionPlacement& placement) override;
  void regionVoxel(int32_t r, std::size_t voxel, float F) override;

 private:
  RegionComponents& region(int32_t r);

  SubjectComponents& subject_;
};

}  // namespace cohortix::host
