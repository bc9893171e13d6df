#pragma once
// What a run's record (host/record) tells its report: the control file it copied,
// where the caller gave none, and what the files themselves do not say (the
// command line, the host's noise, the seed, the replicate, the builds that ran).

#include <optional>

#include "host/io/status.h"
#include "host/record/restored_copy.h"
#include "host/report/report_inputs.h"

namespace cohortix::host {

class DiskInterface;

// Fills what `inputs` leaves open from the record in its run folder, if any;
// `control` then holds the control file restored from the record, which the
// report reads. A record that cannot be read is an error only when the report has
// no control file without it.
Status takeRunRecord(ReportInputs& inputs, std::optional<record::RestoredCopy>& control,
                     DiskInterface& disk);

}  // namespace cohortix::host
