#include "control/cell_index.h"

namespace cohortix {

int32_t cellLevelCount(const SimulationDesign& design, int f) {
  return f < design.NrOfWithinFactors ? design.WithinFactors[f].NrOfLevels : 1;
}

int32_t cellIndex(const SimulationDesign& design, const CellLevels& levels) {
  int32_t cell = 0;
  int32_t stride = 1;
  for (int f = 0; f < kMaxWithinFactors; ++f) {
    cell += stride * levels.Level[f];
    stride *= cellLevelCount(design, f);
  }
  return cell;
}

CellLevels cellLevels(const SimulationDesign& design, int32_t cell) {
  CellLevels levels;
  for (int f = 0; f < kMaxWithinFactors; ++f) {
    const int32_t count = cellLevelCount(design, f);
    if (count <= 0) break;  // a factor without levels has no cells at all
    levels.Level[f] = cell % count;
    cell /= count;
  }
  return levels;
}

int32_t FirstTrialCondition(const SimulationDesign& design) {
  return design.HasRestPeriods ? 1 : 0;
}

int32_t conditionOfCell(const SimulationDesign& design, int32_t cell) {
  return cell + FirstTrialCondition(design);
}

int32_t cellOfCondition(const SimulationDesign& design, int32_t condition) {
  return condition - FirstTrialCondition(design);
}

int32_t groupNumber(int32_t g) { return g + 1; }

int32_t subjectNumber(const SimulationDesign& design, int32_t g, int32_t s) {
  return g * design.NrOfSubjectsPerGroup + s + 1;
}

int32_t effectRow(const SimulationDesign& design, int32_t g, int32_t s) {
  return design.EffectsPerGroup ? g : g * design.NrOfSubjectsPerGroup + s;
}

}  // namespace cohortix
