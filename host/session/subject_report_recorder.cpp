#include "host/session/subject_report_recorder.h"

namespace cohortix::host {

SubjectReportRecorder::SubjectReportRecorder(std::function<std::size_t()> voxelsInVTC)
    : voxelsInVTC_(std::move(voxelsInVTC)),
      table_{sizeof(CohortixSubjectReport), this, &levels, &voxelBaseline, &cellEffect,
             &regionPlaced, &regionVoxel} {}

std::shared_ptr<SubjectComponents> SubjectReportRecorder::take() {
  recorder_.reset();
  return std::move(current_);
}

// A subject's first report: whatever an unfinished subject left is dropped.
void SubjectReportRecorder::levels(void* context, int32_t g, int32_t s, float baseline,
                                   float onePercent, float noiseSD) {
  SubjectReportRecorder& self = of(context);
  self.recorder_.reset();
  self.current_ = std::make_shared<SubjectComponents>();
  self.current_->pluginGroup = g;
  self.current_->pluginSubject = s;
  self.recorder_.emplace(*self.current_, self.voxelsInVTC_());
  self.recorder_->subjectLevels({baseline, onePercent, noiseSD});
}

void SubjectReportRecorder::voxelBaseline(void* context, uint64_t voxel, float baseline) {
  SubjectReportRecorder& self = of(context);
  if (self.recorder_) self.recorder_->wholeVolumeBaseline(voxel, baseline);
}

void SubjectReportRecorder::cellEffect(void* context, int32_t r, int32_t p, float tableValue,
                                       float received) {
  SubjectReportRecorder& self = of(context);
  if (self.recorder_) self.recorder_->cellEffect(r, p, tableValue, received);
}

void SubjectReportRecorder::regionPlaced(void* context, int32_t r, int32_t talX, int32_t talY,
                                         int32_t talZ, float radius, int32_t centreX,
                                         int32_t centreY, int32_t centreZ) {
  SubjectReportRecorder& self = of(context);
  if (!self.recorder_) return;
  RegionPlacement placement;
  placement.TalX = talX;
  placement.TalY = talY;
  placement.TalZ = talZ;
  placement.Radius = radius;
  placement.Centre = {centreX, centreY, centreZ};
  self.recorder_->regionPlaced(r, placement);
}

void SubjectReportRecorder::regionVoxel(void* context, int32_t r, uint64_t voxel, float baseline) {
  SubjectReportRecorder& self = of(context);
  if (self.recorder_) self.recorder_->regionVoxel(r, voxel, baseline);
}

}  // namespace cohortix::host
