#pragma once
// Whether a run's outputs are whole enough to be read as a study: a BIDS dataset
// still marked unfinished (its run stopped, or still going), or a folder whose run
// still holds its lock, or one missing a subject's volume time course that its
// run's record lists, is not.

#include <filesystem>

#include "host/io/status.h"

namespace cohortix::host {

// Ok, or why the run in `run` has not finished: "RUN is still being written by
// process N", "RUN is marked unfinished (...)".
Status finishedInput(const std::filesystem::path& run);

}  // namespace cohortix::host
