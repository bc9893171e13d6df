#include "control/design_checks.h"

#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

#include "control/condition_names.h"
#include "control/derived_counts.h"
#include "control/output_names.h"
#include "control/vtc_geometry.h"
#include "control/wide_arithmetic.h"
#include "abi/host_records.h"

namespace cohortix {
namespace {

std::string str(int64_t value) { return std::to_string(value); }

std::string floatText(float value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", static_cast<double>(value));
  return text;
}

std::string regionName(int r) { return "region " + str(r + 1); }

// The line of the level of the cell's last factor: the last of its levels read.
int lineOfCell(const SimulationDesign& design, const LevelLines& lines, int32_t cell) {
  int32_t stride = 1;
  for (int f = 0; f + 1 < design.NrOfWithinFactors; ++f)
    stride *= design.WithinFactors[f].NrOfLevels;
  return lines.Line[design.NrOfWithinFactors - 1][cell / stride];
}

bool checkConditionName(ItemReader& reader, const SimulationDesign& design, int32_t cell,
                        int line) {
  const std::string name = conditionName(design, cell);
  if (name.size() <= static_cast<std::size_t>(kMaxConditionNameLength)) return true;
  return reader.fail(line,
                     "condition names of at most " + str(kMaxConditionNameLength) + " characters",
                     quotedForMessage(name) + " of " + str(static_cast<int64_t>(name.size())) +
                         " characters for cell " + str(cell + 1));
}

bool checkConditionColor(ItemReader& reader, const SimulationDesign& design, int32_t cell,
                         int line) {
  const int64_t packed = packedCellColorWide(design, cell);
  if (fitsInt32(packed)) return true;
  const CellColor color = cellColor(design, cell);
  return reader.fail(line,
                     "level colours whose packed colour red * 65536 + green * 256 + blue fits "
                     "a 32-bit integer",
                     str(packed) + " for condition " + quotedForMessage(conditionName(design, cell)) +
                         " (red " + str(color.Red) + ", green " + str(color.Green) + ", blue " +
                         str(color.Blue) + ")");
}

std::string timelineText(const SimulationDesign& design, int64_t trials) {
  std::string text = str(design.NrOfPreVolumes) + " before, " + str(trials) + " trials of " +
                     str(design.TrialDuration);
  if (design.HasRestPeriods)
    text += ", " + str(wideAdd(trials, 1)) + " rests of " + str(design.RestDuration);
  return text + ", " + str(design.NrOfPostVolumes) + " after";
}

// The volumes the timeline passes through, whatever the signs of its durations: the
// running volume count of the protocol stays within it.
int64_t timelineSpan(const SimulationDesign& design, int64_t trials) {
  int64_t span = wideAdd(std::llabs(design.NrOfPreVolumes), std::llabs(design.NrOfPostVolumes));
  span = wideAdd(span, wideMul(trials, std::llabs(design.TrialDuration)));
  if (!design.HasRestPeriods) return span;
  return wideAdd(span, wideMul(wideAdd(trials, 1), std::llabs(design.RestDuration)));
}

bool checkCentreAxis(ItemReader& reader, const char* talairach, int r, int32_t value,
                     const char* boxStart, int32_t start) {
  const int64_t offset = centreOffset(value, start);
  if (offset >= -kMaxCentreOffset && offset <= kMaxCentreOffset) return true;
  return reader.fail(reader.line(),
                     std::string("Talairach ") + talairach + " of " + regionName(r) +
                         " within " + str(kMaxCentreOffset) + " voxels of the VTC box, (128 - " +
                         talairach + ") - " + boxStart,
                     str(offset) + " (" + talairach + " " + str(value) + ", " + boxStart + " " +
                         str(start) + ")");
}

}  // namespace

bool checkNotNegative(ItemReader& reader, const std::string& what, int32_t value, int line) {
  if (value >= 0) return true;
  return reader.fail(line != 0 ? line : reader.line(), "0 or more " + what, str(value));
}

bool checkLevelCount(ItemReader& reader, const std::string& factor, int32_t levels) {
  if (levels >= 0 && levels <= kMaxLevels) return true;
  return reader.fail(reader.line(), "0 to " + str(kMaxLevels) + " levels of " + factor,
                     str(levels));
}

bool checkWithinCells(ItemReader& reader, const SimulationDesign& design, int f) {
  int64_t cells = 1;
  for (int i = 0; i <= f; ++i) cells *= design.WithinFactors[i].NrOfLevels;
  if (cells <= kMaxWithinCells) return true;
  return reader.fail(reader.line(),
                     "at most " + str(kMaxWithinCells) +
                         " within cells (the product of the within factors' level counts)",
                     str(cells) + " with within factor " + str(f + 1));
}

bool checkConditions(ItemReader& reader, const SimulationDesign& design,
                     const LevelLines& lines) {
  if (design.NrOfWithinFactors < 1) return true;
  const auto cells = static_cast<int32_t>(withinCellCount(design));
  for (int32_t cell = 0; cell < cells; ++cell) {
    const int line = lineOfCell(design, lines, cell);
    if (!checkConditionName(reader, design, cell, line)) return false;
    if (!checkConditionColor(reader, design, cell, line)) return false;
  }
  return true;
}

bool checkExperimentName(ItemReader& reader, const SimulationDesign& design) {
  const char* problem = experimentNameProblem(design.ExperimentName);
  if (problem == nullptr) return true;
  return reader.fail(reader.line(), "an experiment name that can be part of a file name",
                     quotedForMessage(design.ExperimentName) + ", which " + problem);
}

bool checkSubjects(ItemReader& reader, const SimulationDesign& design, int nameLine) {
  const WideCounts counts = wideDerivedCounts(design);
  if (counts.NrOfSubjects > 2147483647)
    return reader.fail(reader.line(), "at most 2147483647 subjects in all",
                       str(counts.NrOfGroups) + " groups of " + str(design.NrOfSubjectsPerGroup));
  const std::string name = longestOutputName(design);
  if (name.size() <= maxOutputNameBytes()) return true;
  return reader.fail(nameLine,
                     "an experiment name that keeps output file names within " +
                         str(static_cast<int64_t>(maxOutputNameBytes())) + " bytes",
                     quotedForMessage(name) + " of " + str(static_cast<int64_t>(name.size())) +
                         " bytes");
}

bool checkTrialsPerCondition(ItemReader& reader, const SimulationDesign& design) {
  if (design.NrOfTrialsPerCondition < 0)
    return reader.fail(reader.line(), "0 or more trials per condition",
                       str(design.NrOfTrialsPerCondition));
  const int64_t trials = wideDerivedCounts(design).NrOfTrials;
  if (trials <= kMaxRunTrials) return true;
  return reader.fail(reader.line(), "at most " + str(kMaxRunTrials) + " trials in a run",
                     str(trials) + " (" + str(withinCellCount(design)) + " cells of " +
                         str(design.NrOfTrialsPerCondition) + ")");
}

bool checkTimeline(ItemReader& reader, const SimulationDesign& design) {
  const WideCounts counts = wideDerivedCounts(design);
  const int64_t span = timelineSpan(design, counts.NrOfTrials);
  if (counts.NrOfVolumes >= 0 && span <= kMaxRunVolumes) return true;
  const int64_t shown = counts.NrOfVolumes < 0 ? counts.NrOfVolumes : span;
  return reader.fail(reader.line(), "a run of 0 to " + str(kMaxRunVolumes) + " volumes",
                     str(shown) + " (" + timelineText(design, counts.NrOfTrials) + ")");
}

bool checkBoxExtent(ItemReader& reader, const char* axis, int32_t start, int32_t end) {
  if (fitsInt32(int64_t{end} - start)) return true;
  return reader.fail(reader.line(),
                     std::string("a VTC box whose extent along ") + axis +
                         " (end - start) fits a 32-bit integer",
                     "start " + str(start) + " and end " + str(end));
}

constexpr int64_t kMaxVTCValues = std::numeric_limits<int64_t>::max() / sizeof(float);

bool checkResolution(ItemReader& reader, const SimulationDesign& design) {
  if (design.Resolution < 1)
    return reader.fail(reader.line(), "a VTC resolution of at least 1", str(design.Resolution));
  const VTCDims dims = vtcDims(vtcBoxOf(design));
  const int64_t volumes = wideDerivedCounts(design).NrOfVolumes;
  // The run indexes the VTC with 64-bit offsets; only a size beyond any machine is
  // refused here, and the host refuses what does not fit its memory.
  if (vtcValueCount(dims, volumes) <= kMaxVTCValues) return true;
  return reader.fail(reader.line(), "a VTC whose size in bytes fits a 64-bit integer",
                     str(dims.DimX) + " x " + str(dims.DimY) + " x " + str(dims.DimZ) +
                         " voxels of " + str(volumes) + " volumes");
}

bool checkRegionCount(ItemReader& reader, int32_t regions) {
  if (regions >= 0 && regions <= kMaxRegions) return true;
  return reader.fail(reader.line(), "0 to " + str(kMaxRegions) + " effect regions", str(regions));
}

bool checkRegionCentre(ItemReader& reader, const SimulationDesign& design, int r) {
  const EffectRegion& region = design.Regions[r];
  return checkCentreAxis(reader, "y", r, region.TalY, "XStart", design.XStart) &&
         checkCentreAxis(reader, "z", r, region.TalZ, "YStart", design.YStart) &&
         checkCentreAxis(reader, "x", r, region.TalX, "ZStart", design.ZStart);
}

bool checkRegionExtent(ItemReader& reader, const std::string& item, float value) {
  if (value >= -kMaxRegionExtent && value <= kMaxRegionExtent) return true;
  return reader.fail(reader.line(), item + " from -256 to 256 VTC voxels",
                     floatText(value));
}

bool checkEffectRows(ItemReader& reader, const SimulationDesign& design) {
  const WideCounts counts = wideDerivedCounts(design);
  if (counts.NrOfEffectRows >= 0 && counts.NrOfEffectRows <= kMaxEffectRows) return true;
  return reader.fail(reader.line(),
                     "0 to " + str(kMaxEffectRows) + " rows of the effect table (one per subject)",
                     str(counts.NrOfEffectRows) + " (" + str(counts.NrOfGroups) + " groups of " +
                         str(design.NrOfSubjectsPerGroup) + " subjects)");
}

}  // namespace cohortix
