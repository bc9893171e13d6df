#pragma once
// The host's side of the plug-in's subject reports (abi/subject_report.h): the
// callback table the session hands the plug-in, and the components of the subject
// being reported, handed on with that subject when its VTC is saved.

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>

#include "abi/subject_report.h"
#include "host/session/component_recorder.h"
#include "host/session/subject_components.h"

namespace cohortix::host {

class SubjectReportRecorder {
 public:
  // voxelsInVTC: the voxels of the run's VTC, asked at each subject's first report.
  explicit SubjectReportRecorder(std::function<std::size_t()> voxelsInVTC);
  SubjectReportRecorder(const SubjectReportRecorder&) = delete;
  SubjectReportRecorder& operator=(const SubjectReportRecorder&) = delete;

  // The table to hand the plug-in; valid as long as the recorder.
  const CohortixSubjectReport* table() const { return &table_; }

  // The subject reported since the last call, whole; null when none was.
  std::shared_ptr<SubjectComponents> take();

 private:
  static void levels(void* context, int32_t g, int32_t s, float baseline, float onePercent,
                     float noiseSD);
  static void voxelBaseline(void* context, uint64_t voxel, float baseline);
  static void cellEffect(void* context, int32_t r, int32_t p, float tableValue, float received);
  static void regionPlaced(void* context, int32_t r, int32_t talX, int32_t talY, int32_t talZ,
                           float radius, int32_t centreX, int32_t centreY, int32_t centreZ);
  static void regionVoxel(void* context, int32_t r, uint64_t voxel, float baseline);
  static SubjectReportRecorder& of(void* context) {
    return *static_cast<SubjectReportRecorder*>(context);
  }

  std::function<std::size_t()> voxelsInVTC_;
  CohortixSubjectReport table_;
  std::shared_ptr<SubjectComponents> current_;
  std::optional<ComponentRecorder> recorder_;
};

}  // namespace cohortix::host
