#include "control/condition_names.h"

#include "control/cell_index.h"

namespace cohortix {
namespace {

int activeFactorCount(const SimulationDesign& design) {
  return design.NrOfWithinFactors < kMaxWithinFactors ? design.NrOfWithinFactors
                                                      : kMaxWithinFactors;
}

const DesignLevel& levelOf(const SimulationDesign& design, const CellLevels& levels, int f) {
  return design.WithinFactors[f].Levels[levels.Level[f]];
}

int64_t capAbove(int64_t component) { return component > 255 ? 255 : component; }

}  // namespace

std::string conditionName(const SimulationDesign& design, int32_t cell) {
  const CellLevels levels = cellLevels(design, cell);
  std::string name;
  for (int f = 0; f < activeFactorCount(design); ++f) {
    if (f > 0) name += kConditionNameSeparator;
    name += levelOf(design, levels, f).LevelName;
  }
  return name;
}

CellColor cellColor(const SimulationDesign& design, int32_t cell) {
  const CellLevels levels = cellLevels(design, cell);
  CellColor color;
  const int factors = activeFactorCount(design);
  for (int f = 0; f < factors; ++f) {
    const DesignLevel& level = levelOf(design, levels, f);
    color.Red += level.ColorR;
    color.Green += level.ColorG;
    color.Blue += level.ColorB;
  }
  if (factors > 1) color = {capAbove(color.Red), capAbove(color.Green), capAbove(color.Blue)};
  return color;
}

int64_t packedCellColorWide(const SimulationDesign& design, int32_t cell) {
  const CellColor color = cellColor(design, cell);
  return color.Red * 65536 + color.Green * 256 + color.Blue;
}

int32_t packedCellColor(const SimulationDesign& design, int32_t cell) {
  return static_cast<int32_t>(packedCellColorWide(design, cell));
}

}  // namespace cohortix
