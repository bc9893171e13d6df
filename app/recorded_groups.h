#pragma once
// The groups of a folder of native files under the names its run's record gives
// them: the native files number their groups (S4_G2_Study), the control file the
// record keeps names them ("Controls", "Patients"), as a BIDS dataset's
// participants.tsv does.

#include <filesystem>
#include <memory>

#include "host/analysis/study_source.h"

namespace cohortix::app {

// The source itself when the folder holds no record, a dataset, or groups the
// record's study does not name; the record's refusal when it is damaged.
host::Result<std::unique_ptr<host::StudySource>> withRecordedGroupNames(
    std::unique_ptr<host::StudySource> source, const std::filesystem::path& run);

}  // namespace cohortix::app
