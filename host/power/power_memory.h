#pragma once
// What a power analysis holds at once, judged before it simulates: the plug-in's
// subject and its parts (the VTC, the components, the host's noise and anatomy
// beside them), and the group level of every replicate under way. With one group
// a replicate is scored once its subjects have come, so one per sample size is
// held; with two, the plug-in makes every subject of the first group before the
// second, so every replicate of every size waits for its second group.

#include <cstdint>

#include "control/simulation_design.h"
#include "host/io/status.h"
#include "host/power/power_analysis.h"
#include "host/session/memory_budget.h"

namespace cohortix::host {

struct PowerMemoryNeed {
  uint64_t perReplicateBytes = 0;
  uint64_t replicatesHeld = 0;
  bool severalGroups = false;  // then every replicate waits for its last group
  uint64_t totalBytes = 0;
};

// `design`: the study as its control file reads, with its derived counts.
PowerMemoryNeed powerMemoryNeedOf(const SimulationDesign& design, const PowerOptions& options);

// A refusal that says what the analysis needs, what it may use and what to change.
Status checkPowerMemory(const PowerMemoryNeed& need, const MemoryLimit& limit);

}  // namespace cohortix::host
