#pragma once
// What the report reads of one subject beside its data: the trials of its protocol
// by cell, and its design matrix by cell, from the native files or the BIDS tables.

#include <vector>

#include "host/documents/protocol_document.h"
#include "host/io/status.h"
#include "host/report/study_run.h"

namespace cohortix::host {

class DiskInterface;

// The trials of every cell, as 1-based inclusive volume intervals, by cell index.
using SubjectTrials = std::vector<std::vector<ProtocolInterval>>;

// From the .prt (its trial conditions must be the design's cells, in cell order)
// or the events table (onsets and durations turned into volumes with the
// repetition time; trial types must name the design's cells).
Result<SubjectTrials> readSubjectTrials(const StudyRun& run, const SubjectFiles& subject,
                                        double repetitionTime, DiskInterface& disk);

// The predictors of the design matrix, one column per cell, each one value per
// volume.
Result<std::vector<std::vector<float>>> readSubjectDesign(const StudyRun& run,
                                                          const SubjectFiles& subject,
                                                          DiskInterface& disk);

}  // namespace cohortix::host
