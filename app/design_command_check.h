#pragma once
// A sweep's designs checked at plan time as their commands will parse them: each
// design's command line goes through the very options of its subcommand (run,
// check or power), so an unknown option, a value out of range or a missing
// required option stops the plan with the sweep file's line, not every design at
// run time.

#include <string>

#include "host/io/status.h"
#include "host/sweep/sweep_file.h"
#include "host/sweep/sweep_plan.h"

namespace cohortix::app {

// "sweep.toml:LINE: design d002 (--tr = 0.01): --tr must be between ..." for the
// first design whose command the subcommand refuses; LINE is the sweep file's line
// naming the option refused, else its command's.
host::Status checkDesignCommands(const host::sweep::SweepDefinition& definition,
                                 const host::sweep::Plan& plan);

}  // namespace cohortix::app
