#include "host/study_readme.h"

#include "host/decimal_text.h"

namespace cohortix::host {
namespace {

std::string number(int32_t value) { return std::to_string(value); }

std::string levelList(const DesignFactor& factor) {
  std::string list;
  for (int32_t level = 0; level < factor.NrOfLevels && level < kMaxLevels; ++level)
    list += (level == 0 ? "" : ", ") + std::string(factor.Levels[level].LevelName);
  return list;
}

std::string factorLines(const DesignFactor* factors, int32_t count) {
  std::string lines;
  for (int32_t f = 0; f < count && f < kFactorSlots; ++f)
    lines += "  - " + std::string(factors[f].FactorName) + ": " + levelList(factors[f]) + "\n";
  return lines;
}

std::string designSection(const SimulationDesign& d) {
  std::string text = "Design:\n\n- Within-subject factors (" + number(d.NrOfWithinCells) +
                     " cells, one trial type each):\n" +
                     factorLines(d.WithinFactors, d.NrOfWithinFactors);
  text += d.NrOfBetweenFactors > 0
              ? "- Between-subject factor (the participants' group):\n" +
                    factorLines(d.BetweenFactors, d.NrOfBetweenFactors)
              : std::string("- No between-subject factor: one group.\n");
  return text + "- " + number(d.NrOfSubjectsPerGroup) + " subjects per group, " +
         number(d.NrOfSubjects) + " in all.\n";
}

std::string timingSection(const SimulationDesign& d, double tr) {
  std::string rest = d.HasRestPeriods ? "rest periods of " + number(d.RestDuration) +
                                            " volumes before and after every trial"
                                      : std::string("no rest periods");
  return "Timing, in volumes of " + secondsText(tr) + " s:\n\n- " +
         number(d.NrOfTrialsPerCondition) + " trials per cell of " + number(d.TrialDuration) +
         " volumes each, in an order drawn for every subject; " + rest + ".\n- " +
         number(d.NrOfPreVolumes) + " volumes before the first period and " +
         number(d.NrOfPostVolumes) + " after the last: " + number(d.NrOfVolumes) +
         " volumes in all.\n";
}

std::string signalSection(const SimulationDesign& d) {
  return "Signal:\n\n- Box of the anatomy x " + number(d.XStart) + " to " + number(d.XEnd) +
         ", y " + number(d.YStart) + " to " + number(d.YEnd) + ", z " + number(d.ZStart) +
         " to " + number(d.ZEnd) + " at " + number(d.Resolution) + " mm voxels.\n" +
         "- Baseline " + number(d.MeanBaseline) + " (SD across subjects " +
         floatText(d.BaselineSDAcrossSubjects) + ", across voxels " +
         floatText(d.BaselineSDAcrossVoxels) + "); Gaussian noise of SD " +
         floatText(d.NoiseSDPercent) + " % of the subject's baseline.\n";
}

std::string regionLine(const EffectRegion& region, int32_t r) {
  return "- Region " + number(r + 1) + ": Talairach (" + number(region.TalX) + ", " +
         number(region.TalY) + ", " + number(region.TalZ) + "), radius " +
         floatText(region.Radius) + " voxels, centre SD " + floatText(region.CenterSD) +
         " voxels.\n";
}

std::string regionSection(const SimulationDesign& d) {
  std::string text = "Effect regions (spheres; each cell's effect is a percentage of the "
                     "baseline, " +
                     std::string(d.EffectsPerGroup ? "per group, with a per-subject SD of " +
                                                         floatText(d.SubjectEffectSD)
                                                   : "per subject") +
                     "):\n\n";
  if (d.NrOfRegions <= 0) text += "- none: baseline and noise only.\n";
  for (int32_t r = 0; r < d.NrOfRegions && r < kMaxRegions; ++r)
    text += regionLine(d.Regions[r], r);
  return text;
}

}  // namespace

std::string studyReadme(const SimulationDesign& design, const std::string& controlFileName,
                        double repetitionTime) {
  return "# " + std::string(design.ExperimentName) + "\n\n" +
         "A simulated group fMRI study with a known ground truth, made by Cohortix from the "
         "control file code/" +
         controlFileName +
         ". Every subject's bold series is the simulated volume time course in Talairach "
         "space: a baseline, Gaussian noise, and inside each effect region the "
         "effect-weighted sum of the subject's predictors (each cell's boxcar convolved "
         "with a two-gamma haemodynamic response). The events files list every trial; rest "
         "is whatever no trial covers. derivatives/cohortix holds each subject's design "
         "matrix.\n\n" +
         designSection(design) + "\n" + timingSection(design, repetitionTime) + "\n" +
         signalSection(design) + "\n" + regionSection(design);
}

}  // namespace cohortix::host
