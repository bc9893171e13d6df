#pragma once
// A run's design built from its BIDS events table, as the plug-in's design
// matrices are built: one predictor per cell, 1.0 at the volumes its trials cover
// and 0 elsewhere, convolved with the host's two-gamma response at the run's
// repetition time. A trial of onset o and duration d seconds covers volumes
// round(o / TR) + 1 to round(o / TR) + round(d / TR) (1-based), the inverse of the
// events a run writes; "Baseline" rows, or any trial type the cells leave out
// when there are no cells, have no predictor.

#include <cstdint>
#include <string>
#include <vector>

#include "host/documents/design_matrix.h"
#include "host/io/status.h"

namespace cohortix::host {

// `cells`: the study's cell names in predictor order (from its control file); a
// trial type that is not one of them is refused, naming its line. Without cells
// every trial type but "Baseline" is one, in alphabetical order.
Result<std::vector<Predictor>> designFromEvents(const std::string& text, const std::string& name,
                                                int32_t volumes, double repetitionTime,
                                                const std::vector<std::string>& cells);

}  // namespace cohortix::host
