#pragma once
// The pieces of the report's results: the analysis's group maps (their table, each
// chosen map on slices over the truth's outline, its score against that truth)
// and the power analysis's curves and table.

#include <string>
#include <vector>

#include "host/io/status.h"
#include "host/report/optional_inputs.h"
#include "host/report/report_sections.h"

namespace cohortix::host {

// At most this many group maps are drawn and scored: those over all subjects.
inline constexpr std::size_t kMaxDrawnMaps = 8;
// At most this many rows of a power table are printed.
inline constexpr std::size_t kMaxPowerRows = 400;

Result<std::string> groupMapResults(const ReportContext& context, ResultsInput& results,
                                    const std::vector<GroupMapEntry>& maps);

std::string powerResults(const ReportContext& context, const std::string& source,
                         const std::vector<PowerEntry>& rows);

// Refuses a power table of another study: one naming a region the study does not
// have, or none of whose effects is a cell of the study.
Status powerTableOfStudy(const SimulationDesign& design, const std::string& source,
                         const std::vector<PowerEntry>& rows);

}  // namespace cohortix::host
