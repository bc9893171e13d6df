#pragma once
// The K-th independent sample of a study (`cohortix run --replicate K`). The
// plug-in keeps its random stream: every run starts from the same state, so a new
// sample of the study's subjects can only be the subjects that follow in that
// stream. Replicate K of a study with N subjects per group is a run of the
// expanded study, N x (K + 1) subjects per group with the per-subject effect rows
// repeated for every sample of N, of which the host keeps in each group the last
// N (the group's subjects K N + 1 .. (K + 1) N in the plug-in's run order), under
// the names of the study's subjects 1 .. N of that group. Replicate 0 is the study
// itself. The skipped subjects are simulated, so the cost grows with K.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "control/simulation_design.h"
#include "host/io/status.h"
#include "host/session/subject_selection.h"
#include "host/sweep/control_edit.h"
#include "host/sweep/control_items.h"

namespace cohortix::host::replicate {

// The control file of replicate K of the study in `items` (`study` is its design,
// with the derived counts): every byte as it was but SubjectsPerGroup and, with one
// effect row per subject, the effect rows. Refuses, naming the limit, an expansion
// the control file cannot hold (100 effect rows, 32-bit subject counts). The text
// is `.text`; the rest says where the reader should find each item
// (sweep::checkEditedFile).
Result<sweep::EditedText> expandedStudy(const sweep::ControlItems& items, const SimulationDesign& study,
                                  int32_t replicate);

// For each subject of the expanded study in the plug-in's run order: the index in
// the study's own run order (host/session/run_order.h) of the subject it becomes,
// or none when it is skipped.
std::vector<std::optional<std::size_t>> keptSubjects(const SimulationDesign& study, int32_t replicate);

// The selection a replicate's run hands the output path: the expanded study's
// subjects, of which the kept ones are written under the study's names.
SubjectSelection replicateSelection(const SimulationDesign& study, const SimulationDesign& expanded,
                                    int32_t replicate);

}  // namespace cohortix::host::replicate
