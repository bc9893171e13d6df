#pragma once
// What the group level tests: linear combinations of the cells' betas. Every cell
// on its own, the within factors' main effects and interactions, and contrasts the
// user adds. A factor of L levels has L - 1 successive differences (level 1 - level
// 2, level 2 - level 3, ...); a main effect averages over the other factors' levels
// and an interaction multiplies the factors' differences, so with cell index
// l1 + L1 l2 + L1 L2 l3 the weights are the Kronecker product of one vector per
// factor (a difference or an average).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/io/status.h"

namespace cohortix::host {

struct WithinFactor {
  std::string name;
  std::vector<std::string> levels;
};

struct Effect {
  std::string name;
  std::vector<double> weights;  // one per cell
  bool isCell = false;
};

// The factors the cell names show: with "A1 x B1", "A2 x B1", "A1 x B2", ... the
// levels of each factor in order of appearance, named "Factor 1", "Factor 2", ...
// Names that do not form such a grid in the cell order make one factor whose
// levels are the cells.
std::vector<WithinFactor> factorsFromCellNames(const std::vector<std::string>& cellNames);

// Each cell alone, named after it.
std::vector<Effect> cellEffects(const std::vector<std::string>& cellNames);

// Main effects and interactions of the factors, one effect per degree of freedom.
std::vector<Effect> factorialContrasts(const std::vector<WithinFactor>& factors);

// "name: w1 w2 ..." with one weight per cell.
Result<Effect> parseContrast(std::string_view text, int32_t cells);

}  // namespace cohortix::host
