#pragma once
// `cohortix run --resume --bids DIR` without a control file: the run that left the
// dataset unfinished is continued as its record in DIR/code/ says it was made (its
// control file, profile, options and native folder).

#include <string>

#include "app/command.h"
#include "host/record/run_record.h"

namespace cohortix::app {

// `asked` is the resuming command line: its flags that change no byte (--quiet)
// are passed on.
ExitStatus resumeFromRecord(const std::string& bidsDir, const host::record::RunRecord& asked,
                            const GlobalOptions& global);

}  // namespace cohortix::app
