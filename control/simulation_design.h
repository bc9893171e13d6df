#pragma once
// The design of one simulated group study as read from a control file, with the
// counts derived from it. Capacities are fixed: filling a design allocates nothing.

#include <cstdint>

namespace cohortix {

inline constexpr int kMaxWithinFactors = 3;
inline constexpr int kMaxBetweenFactors = 1;
inline constexpr int kFactorSlots = 3;
inline constexpr int kMaxLevels = 20;
inline constexpr int kMaxRegions = 20;
inline constexpr int kMaxEffectRows = 100;
inline constexpr int kMaxWithinCells = 100;
inline constexpr int kMaxWordLength = 99;            // label or flag word
inline constexpr int kMaxExperimentNameLength = 299;
inline constexpr int kMaxFactorNameLength = 199;
inline constexpr int kMaxLevelNameLength = 99;

struct DesignLevel {
  int32_t ColorR = 0;
  int32_t ColorG = 0;
  int32_t ColorB = 0;
  char LevelName[kMaxLevelNameLength + 1] = {};
};

struct DesignFactor {
  char FactorName[kMaxFactorNameLength + 1] = {};
  int32_t NrOfLevels = 0;
  DesignLevel Levels[kMaxLevels];
};

struct EffectRegion {
  int32_t TalX = 0;
  int32_t TalY = 0;
  int32_t TalZ = 0;
  float Radius = 0.0f;
  float CenterSD = 0.0f;
};

struct SimulationDesign {
  // Fields as read, in file order.
  int32_t FileVersion = 0;
  int32_t NrOfWithinFactors = 0;
  int32_t NrOfBetweenFactors = 0;
  char ExperimentName[kMaxExperimentNameLength + 1] = {};
  DesignFactor WithinFactors[kFactorSlots];
  DesignFactor BetweenFactors[kFactorSlots];
  bool BalancedDesign = false;
  bool HasRestPeriods = false;
  int32_t RestDuration = 0;
  int32_t NrOfSubjectsPerGroup = 0;
  int32_t TrialDuration = 0;
  int32_t NrOfTrialsPerCondition = 0;
  int32_t NrOfPreVolumes = 0;
  int32_t NrOfPostVolumes = 0;
  int32_t ZStart = 0, ZEnd = 0;
  int32_t XStart = 0, XEnd = 0;
  int32_t YStart = 0, YEnd = 0;
  int32_t Resolution = 0;
  int32_t VTCHeaderCode = 0;
  int32_t MeanBaseline = 0;
  float BaselineSDAcrossSubjects = 0.0f;
  float BaselineSDAcrossVoxels = 0.0f;
  float NoiseSDPercent = 0.0f;
  int32_t NrOfRegions = 0;
  EffectRegion Regions[kMaxRegions];
  bool EffectsPerGroup = false;
  float SubjectEffectSD = 0.0f;
  float EffectTable[kMaxRegions][kMaxEffectRows][kMaxWithinCells] = {};

  // Derived by computeDerivedCounts.
  int32_t NrOfWithinCells = 0;
  int32_t NrOfGroups = 0;
  int32_t NrOfSubjects = 0;
  int32_t NrOfTrials = 0;
  int32_t NrOfVolumes = 0;
  int32_t NrOfEffectRows = 0;
};

}  // namespace cohortix
