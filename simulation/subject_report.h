#pragma once
// The subject reports a host asked for (abi/subject_report.h): kept for the whole
// process, as the host function table is, and told by the model through an
// observer made for each subject.

#include <cstdint>

#include "abi/subject_report.h"
#include "simulation/subject_model.h"

namespace cohortix {

// The table the host handed in, or null when it asked for nothing (or stopped).
void setSubjectReport(const CohortixSubjectReport* report);
const CohortixSubjectReport* subjectReport();

// Passes what the model tells about subject s of group g on to the host's table.
class ReportingObserver final : public SubjectObserver {
 public:
  ReportingObserver(const CohortixSubjectReport& report, int32_t g, int32_t s)
      : report_(report), g_(g), s_(s) {}

  void subjectLevels(const SubjectLevels& levels) override;
  void wholeVolumeBaseline(std::size_t voxel, float F) override;
  void cellEffect(int32_t r, int32_t p, float tableValue, float received) override;
  void regionPlaced(int32_t r, const RegionPlacement& placement) override;
  void regionVoxel(int32_t r, std::size_t voxel, float F) override;

 private:
  const CohortixSubjectReport& report_;
  int32_t g_, s_;
};

}  // namespace cohortix
