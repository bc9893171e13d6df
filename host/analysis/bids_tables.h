#pragma once
// The tables of a BIDS dataset the analysis reads: participants.tsv (each
// subject's folder and group) and a subject's design matrix
// (derivatives/cohortix/sub-*/func/*_desc-design_timeseries.tsv). Either is
// refused with "file:line: expected ..., found ..." when a row is not as wide as
// the header, a value is not a finite number, or a subject's name could lead
// anywhere but to a folder of the dataset's own.

#include <string>
#include <vector>

#include "host/documents/design_matrix.h"
#include "host/io/status.h"

namespace cohortix::host {

struct Participant {
  std::string id;     // "sub-04": a plain folder name, each once
  std::string group;  // "all" without a group column
};

Result<std::vector<Participant>> parseParticipants(const std::string& text, const std::string& file);

// One predictor per column, named by the header.
Result<std::vector<Predictor>> parseDesignTable(const std::string& text, const std::string& file);

}  // namespace cohortix::host
