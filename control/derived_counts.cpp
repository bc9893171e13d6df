#include "control/derived_counts.h"

#include "control/wide_arithmetic.h"

namespace cohortix {
namespace {

int64_t levelProduct(const DesignFactor* factors, int32_t count) {
  int64_t product = 1;
  for (int32_t f = 0; f < count && f < kFactorSlots; ++f)
    product = wideMul(product, factors[f].NrOfLevels);
  return product;
}

int64_t volumeCount(const SimulationDesign& design, int64_t trials) {
  int64_t volumes = wideMul(trials, design.TrialDuration);
  if (design.HasRestPeriods)
    volumes = wideAdd(volumes, wideMul(wideAdd(trials, 1), design.RestDuration));
  return wideAdd(wideAdd(volumes, design.NrOfPreVolumes), design.NrOfPostVolumes);
}

}  // namespace

int64_t withinCellCount(const SimulationDesign& design) {
  return levelProduct(design.WithinFactors, design.NrOfWithinFactors);
}

int64_t groupCount(const SimulationDesign& design) {
  return levelProduct(design.BetweenFactors, design.NrOfBetweenFactors);
}

WideCounts wideDerivedCounts(const SimulationDesign& design) {
  WideCounts counts;
  counts.NrOfWithinCells = withinCellCount(design);
  counts.NrOfGroups = groupCount(design);
  counts.NrOfSubjects = wideMul(counts.NrOfGroups, design.NrOfSubjectsPerGroup);
  counts.NrOfTrials = wideMul(counts.NrOfWithinCells, design.NrOfTrialsPerCondition);
  counts.NrOfVolumes = volumeCount(design, counts.NrOfTrials);
  counts.NrOfEffectRows = design.EffectsPerGroup ? counts.NrOfGroups : counts.NrOfSubjects;
  return counts;
}

void computeDerivedCounts(SimulationDesign& design) {
  const WideCounts counts = wideDerivedCounts(design);
  design.NrOfWithinCells = static_cast<int32_t>(counts.NrOfWithinCells);
  design.NrOfGroups = static_cast<int32_t>(counts.NrOfGroups);
  design.NrOfSubjects = static_cast<int32_t>(counts.NrOfSubjects);
  design.NrOfTrials = static_cast<int32_t>(counts.NrOfTrials);
  design.NrOfVolumes = static_cast<int32_t>(counts.NrOfVolumes);
  design.NrOfEffectRows = static_cast<int32_t>(counts.NrOfEffectRows);
}

}  // namespace cohortix
