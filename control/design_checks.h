#pragma once
// What the reader refuses beyond tokens it cannot read: counts beyond the design's
// capacities, names that cannot serve as file or condition names, and values whose
// use in the run would overflow its 32-bit arithmetic. Each check looks at the part
// of the design read so far and, when it refuses, sets the message through the
// ItemReader and returns false.

#include <cstdint>

#include "control/item_reader.h"
#include "control/simulation_design.h"

namespace cohortix {

// The line on which each within level stands, to point at the levels of a cell.
struct LevelLines {
  int Line[kMaxWithinFactors][kMaxLevels] = {};
};

// The longest run, in volumes: every 1-based volume number and the one past the
// last still fit a 32-bit integer.
inline constexpr int64_t kMaxRunVolumes = 2147483646;
inline constexpr int64_t kMaxRunTrials = 2147483646;

// A count or a duration in volumes below 0: "expected 0 or more <what>, found -5" on
// `line` (0: the line of the token read last).
bool checkNotNegative(ItemReader& reader, const std::string& what, int32_t value, int line = 0);
bool checkLevelCount(ItemReader& reader, const std::string& factor, int32_t levels);
// After the level count of within factor f: the cells so far stay within capacity.
bool checkWithinCells(ItemReader& reader, const SimulationDesign& design, int f);
// After the last within level: every cell's condition name and packed colour fit.
bool checkConditions(ItemReader& reader, const SimulationDesign& design,
                     const LevelLines& lines);
bool checkExperimentName(ItemReader& reader, const SimulationDesign& design);
// After the subjects per group: the subject count and the output names fit.
bool checkSubjects(ItemReader& reader, const SimulationDesign& design, int nameLine);
bool checkTrialsPerCondition(ItemReader& reader, const SimulationDesign& design);
// After the volumes after the last interval: the run's volume count fits.
bool checkTimeline(ItemReader& reader, const SimulationDesign& design);
bool checkBoxExtent(ItemReader& reader, const char* axis, int32_t start, int32_t end);
// After the resolution: it divides, and the VTC's values can be indexed.
bool checkResolution(ItemReader& reader, const SimulationDesign& design);
bool checkRegionCount(ItemReader& reader, int32_t regions);
bool checkRegionCentre(ItemReader& reader, const SimulationDesign& design, int r);
bool checkRegionExtent(ItemReader& reader, const std::string& item, float value);
bool checkEffectRows(ItemReader& reader, const SimulationDesign& design);

}  // namespace cohortix
