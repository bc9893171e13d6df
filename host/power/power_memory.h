#pragma once
// What a power analysis holds at once, judged before it simulates: on each of its
// threads one subject and its parts (the VTC, the components, the host's noise and
// anatomy beside them) and the group level of the replicate under way, one per
// sample size when one replicate serves every size. A thread makes a replicate's
// groups one after the other and scores it before it takes the next, so nothing
// grows with the number of replicates.

#include <cstdint>

#include "control/simulation_design.h"
#include "host/io/status.h"
#include "host/power/power_analysis.h"
#include "host/session/memory_budget.h"

namespace cohortix::host {

struct PowerMemoryNeed {
  uint64_t perReplicateBytes = 0;
  uint64_t replicatesHeld = 0;
  uint64_t threads = 1;
  uint64_t totalBytes = 0;
};

// `design`: the study as its control file reads, with its derived counts.
PowerMemoryNeed powerMemoryNeedOf(const SimulationDesign& design, const PowerOptions& options);

// A refusal that says what the analysis needs, what it may use and what to change.
Status checkPowerMemory(const PowerMemoryNeed& need, const MemoryLimit& limit);

}  // namespace cohortix::host
