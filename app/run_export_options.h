#pragma once
// The run's options for how its exports are written: --gzip-level, --no-native,
// --resume. They refine --nifti, --gzip and --bids, which the run adds first.

#include "host/session/study_exports.h"

namespace CLI {
class App;
}

namespace cohortix::app {

void addRunExportOptions(CLI::App& command, host::ExportOptions& exports);

}  // namespace cohortix::app
