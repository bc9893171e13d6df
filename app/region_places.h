#pragma once
// Where a design's regions lie in the anatomy (`check --anatomy`): each centre's
// atlas labels and tissue, and a warning for a centre outside the brain or not in
// grey matter.

#include <iosfwd>
#include <vector>

#include "app/design_warnings.h"
#include "control/simulation_design.h"
#include "control/token_spans.h"
#include "host/io/status.h"

namespace cohortix::app {

// Prints one line per region to `out` and adds its warnings to `findings`; an
// error when the anatomy cannot be had.
host::Status placeRegions(const SimulationDesign& design, const std::vector<TokenSpan>& spans,
                          std::ostream& out, std::vector<DesignFinding>& findings);

}  // namespace cohortix::app
