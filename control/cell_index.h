#pragma once
// The one order of the within cells that the protocol conditions, the predictors of
// the design matrix and the columns of the effect table all share: the level of
// within factor 1 varies fastest, factor 3 slowest. Also the numbering of groups
// and subjects, and which effect row serves a subject.

#include <cstdint>

#include "control/simulation_design.h"

namespace cohortix {

// The 0-based level of each within factor in a cell; factors the design does not
// have are at level 0.
struct CellLevels {
  int32_t Level[kMaxWithinFactors] = {};
};

// The level count of within factor f (0-based) as the cell index sees it: 1 for a
// factor the design does not have.
int32_t cellLevelCount(const SimulationDesign& design, int f);

// l1 + L1 * l2 + L1 * L2 * l3.
int32_t cellIndex(const SimulationDesign& design, const CellLevels& levels);

// The inverse of cellIndex for 0 <= cell < NrOfWithinCells.
CellLevels cellLevels(const SimulationDesign& design, int32_t cell);

// 1 when "Baseline" is protocol condition 0 (the design has rest periods), else 0.
int32_t FirstTrialCondition(const SimulationDesign& design);

// Protocol condition index of a cell, and the cell of a trial condition.
int32_t conditionOfCell(const SimulationDesign& design, int32_t cell);
int32_t cellOfCondition(const SimulationDesign& design, int32_t condition);

// 1-based numbers of group index g and subject s of group g, as in output names.
int32_t groupNumber(int32_t g);
int32_t subjectNumber(const SimulationDesign& design, int32_t g, int32_t s);

// The row of EffectTable that serves subject s of group g.
int32_t effectRow(const SimulationDesign& design, int32_t g, int32_t s);

}  // namespace cohortix
