#pragma once
// The truth of an analysis of a simulated study, for every map it writes: the
// regions as the design asks them, labelled by region number (the study-level
// label map that `cohortix score` and the report score maps against), and each
// group map's true effect, the design's effects combined with the map's own
// weights over its groups. The design comes from the study's control file.

#include <cstddef>
#include <filesystem>
#include <memory>
#include <vector>

#include "control/simulation_design.h"
#include "host/analysis/asked_regions.h"
#include "host/analysis/study_analysis.h"
#include "host/io/status.h"

namespace cohortix::host {

// The control file of the study in `run`: `given` when not empty, else for a BIDS
// dataset the one .cxd under code/, else the one .cxd beside a run's native files.
// Fails, saying which, when there is none or more than one, or it is refused.
Result<std::unique_ptr<SimulationDesign>> readRunDesign(const std::filesystem::path& run,
                                                        const std::filesystem::path& given);

// Region r's asked voxels labelled r + 1 (Region1 is 1), 0 elsewhere.
std::vector<float> askedRegionLabels(const ActiveVoxels& truth, std::size_t voxels);

// The map's true effect in percent in every asked region's voxels, 0 elsewhere:
// the effect's weights times the mean of the table rows of the test's subjects,
// the second group's subtracted for a two-sample test.
std::vector<float> trueEffectMap(const ActiveVoxels& truth, const Effect& effect, const GroupTest& test,
                                 std::size_t voxels);

}  // namespace cohortix::host
