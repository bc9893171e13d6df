// The entry point through which a host asks what the plug-in draws for every
// subject (abi/subject_report.h). The host application never calls it.

#include "abi/subject_report.h"
#include "simulation/subject_report.h"

extern "C" uint32_t cohortixReportSubjects(const CohortixSubjectReport* report) {
  cohortix::setSubjectReport(report);
  return sizeof(CohortixSubjectReport);
}
