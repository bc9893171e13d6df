#pragma once
// The exports a run makes beside its native files (--nifti, --gzip, --bids DIR).
// The host reads the control file itself, through the plug-in's reader, for what
// the exports need to know of the study: its subjects' names, its groups, its
// summary.

#include <memory>

#include "host/host_session.h"
#include "host/study_exports.h"

namespace cohortix::app {

// Null when no export is asked for, or when the control file is refused: the run
// then tells the user why and writes no subject. Throws ExportError when the
// dataset's folder cannot be taken.
std::unique_ptr<host::StudyExports> openExports(const host::ExportOptions& options,
                                                host::HostSession& session);

}  // namespace cohortix::app
