#pragma once
// Whether an unfinished BIDS dataset may be resumed by this command, judged from
// the dataset's run record before anything is simulated: the same control file,
// the same noise profile, every option that shapes the dataset's bytes as the
// record has it, a participants table that lists only the study's subjects, and
// every subject file the record lists (the run writes its record again as its
// subjects are saved) still the bytes the run wrote.
// A dataset without a record (from an older build) is checked subject by subject
// as the run goes, as before.

#include <filesystem>
#include <string>

#include "control/simulation_design.h"
#include "host/io/status.h"
#include "host/record/run_record.h"

namespace cohortix::app {

// Ok, or why not: "cannot resume ...: it was begun with --tr 2, this run asks 1.5".
host::Status resumeMatches(const std::filesystem::path& bidsDir, const host::record::RunRecord& asked,
                           const std::filesystem::path& controlFile, const SimulationDesign& design);

// A subject's own file in a dataset, which its run writes once: under sub-*/ or a
// derivative's sub-*/ (the dataset's tables and README are written again as the
// run goes, so a record taken part-way may hold an older version of them).
bool isSubjectFile(const std::string& path);

}  // namespace cohortix::app
