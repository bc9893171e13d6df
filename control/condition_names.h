#pragma once
// The protocol condition of each within cell: its name, the level names joined by
// " x " in factor order, and its colour packed as red * 65536 + green * 256 + blue.
// With one within factor a cell is a level and takes the level's colour as read;
// with more, each component is the sum over the cell's levels, capped at 255 (only
// from above: a negative sum stays as it is).

#include <cstdint>
#include <string>

#include "control/simulation_design.h"

namespace cohortix {

inline constexpr char kConditionNameSeparator[] = " x ";

struct CellColor {
  int64_t Red = 0;
  int64_t Green = 0;
  int64_t Blue = 0;
};

std::string conditionName(const SimulationDesign& design, int32_t cell);

// The cell's colour components before packing, computed wide.
CellColor cellColor(const SimulationDesign& design, int32_t cell);

// red * 65536 + green * 256 + blue, computed wide; the reader refuses designs in
// which this leaves the 32-bit range.
int64_t packedCellColorWide(const SimulationDesign& design, int32_t cell);

// The packed colour the protocol condition of the cell carries.
int32_t packedCellColor(const SimulationDesign& design, int32_t cell);

}  // namespace cohortix
