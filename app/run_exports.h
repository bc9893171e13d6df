#pragma once
// The exports a run makes beside its native files (--nifti, --gzip, --bids DIR),
// from the design the host read itself: its groups, its summary.

#include <memory>

#include "host/session/host_session.h"
#include "host/session/study_exports.h"

namespace cohortix::app {

bool exportsAsked(const host::ExportOptions& options);

// Null when no export is asked for, or when there is no design because the control
// file was refused: the run then tells the user why and writes no subject. An error
// when the dataset's folder cannot be taken.
host::Result<std::unique_ptr<host::StudyExports>> openExports(const host::ExportOptions& options,
                                                const host::SessionOptions& run,
                                                const SimulationDesign* design,
                                                host::DiskInterface& disk);

}  // namespace cohortix::app
