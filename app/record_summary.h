#pragma once
// What `cohortix info` prints of a run's record (cohortix-run.json).

#include <string>

#include "host/record/run_record.h"

namespace cohortix::app {

std::string runRecordSummary(const std::string& name, const host::record::RunRecord& record);

}  // namespace cohortix::app
