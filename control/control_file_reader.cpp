#include "control/control_file_reader.h"

#include "control/control_texts.h"
#include "control/derived_counts.h"
#include "control/design_checks.h"
#include "control/item_reader.h"

namespace cohortix {
namespace {

std::string str(int value) { return std::to_string(value); }

std::string cellItem(int r, int row, int cell) {
  return "the effect of cell " + str(cell + 1) + ", row " + str(row + 1) + ", region " +
         str(r + 1);
}

// Reads the items of one control file in their fixed order. Every read or check
// that fails leaves its message and ends the reading: nothing after it is read.
class ControlFileParser {
 public:
  ControlFileParser(const char* path, SimulationDesign& design, std::string& message,
                    std::vector<TokenSpan>* spans = nullptr)
      : reader_(path, message), design_(design) {
    reader_.recordSpans(spans);
  }

  bool parse() {
    return reader_.open() && readHeader() && readExperimentName() && readWithinFactors() &&
           readBetweenFactors() && readRestPeriods() && readTiming() && readBox() &&
           readSignal() && readRegions() && readEffectMode() && readEffectTables();
  }

 private:
  bool item(const std::string& name, int32_t& value) {
    return reader_.label(name) && reader_.integer(name, value);
  }
  // A count or a duration in volumes: refused below 0 on its own line. `what`
  // completes "0 or more ..." ("volumes of each trial").
  bool countItem(const std::string& name, const std::string& what, int32_t& value) {
    return item(name, value) && checkNotNegative(reader_, what, value);
  }
  bool item(const std::string& name, float& value) {
    return reader_.label(name) && reader_.number(name, value);
  }
  bool flagItem(const std::string& name, char& first) {
    return reader_.label(name) && reader_.flag(name, first);
  }
  bool textItem(const std::string& name, char* dest, std::size_t maxLength) {
    return reader_.label(name) && reader_.quoted(name, dest, maxLength);
  }

  bool readHeader();
  bool readExperimentName();
  bool readFactor(DesignFactor& factor, const std::string& name, int f, bool within);
  bool readLevel(DesignLevel& level, const std::string& name);
  bool readWithinFactors();
  bool readBetweenFactors();
  bool readRestPeriods();
  bool readTiming();
  bool readBox();
  bool readSignal();
  bool readRegions();
  bool readEffectMode();
  bool readEffectTables();

  ItemReader reader_;
  SimulationDesign& design_;
  LevelLines levelLines_;
  int experimentNameLine_ = 0;
};

bool ControlFileParser::readHeader() {
  if (!item("the file format version", design_.FileVersion)) return false;
  if (design_.FileVersion > 1) return reader_.reject(texts::kNewFileFormat);
  int32_t reserved = 0;
  if (!item("the number of within factors", design_.NrOfWithinFactors)) return false;
  const int withinLine = reader_.line();
  if (!item("the number of between factors", design_.NrOfBetweenFactors)) return false;
  const int betweenLine = reader_.line();
  if (!item("the reserved value after the factor counts", reserved)) return false;
  if (design_.NrOfWithinFactors > kMaxWithinFactors)
    return reader_.reject(texts::kTooManyWithinFactors);
  if (design_.NrOfBetweenFactors > kMaxBetweenFactors)
    return reader_.reject(texts::kTooManyBetweenFactors);
  // After the two quoted refusals, which keep their order and their texts.
  return checkNotNegative(reader_, "within factors", design_.NrOfWithinFactors, withinLine) &&
         checkNotNegative(reader_, "between factors", design_.NrOfBetweenFactors, betweenLine);
}

bool ControlFileParser::readExperimentName() {
  if (!textItem("the experiment name", design_.ExperimentName, kMaxExperimentNameLength))
    return false;
  experimentNameLine_ = reader_.line();
  return checkExperimentName(reader_, design_);
}

bool ControlFileParser::readLevel(DesignLevel& level, const std::string& name) {
  return reader_.label(name) && reader_.integer("the red component of " + name, level.ColorR) &&
         reader_.integer("the green component of " + name, level.ColorG) &&
         reader_.integer("the blue component of " + name, level.ColorB) &&
         reader_.quoted("the name of " + name, level.LevelName, kMaxLevelNameLength);
}

bool ControlFileParser::readFactor(DesignFactor& factor, const std::string& name, int f,
                                   bool within) {
  if (!textItem("the name of " + name, factor.FactorName, kMaxFactorNameLength) ||
      !item("the number of levels of " + name, factor.NrOfLevels) ||
      !checkLevelCount(reader_, name, factor.NrOfLevels))
    return false;
  if (within && !checkWithinCells(reader_, design_, f)) return false;
  for (int l = 0; l < factor.NrOfLevels; ++l) {
    if (!readLevel(factor.Levels[l], "level " + str(l + 1) + " of " + name)) return false;
    if (within) levelLines_.Line[f][l] = reader_.line();
  }
  return true;
}

bool ControlFileParser::readWithinFactors() {
  for (int f = 0; f < design_.NrOfWithinFactors; ++f)
    if (!readFactor(design_.WithinFactors[f], "within factor " + str(f + 1), f, true))
      return false;
  return checkConditions(reader_, design_, levelLines_);
}

bool ControlFileParser::readBetweenFactors() {
  for (int f = 0; f < design_.NrOfBetweenFactors; ++f)
    if (!readFactor(design_.BetweenFactors[f], "between factor " + str(f + 1), f, false))
      return false;
  char balanced = 0;
  if (!flagItem("the balanced-design flag", balanced)) return false;
  design_.BalancedDesign = balanced == 'Y';
  return design_.BalancedDesign || reader_.reject(texts::kUnbalancedDesign);
}

bool ControlFileParser::readRestPeriods() {
  char rest = 0;
  if (!flagItem("the rest-period flag", rest)) return false;
  design_.HasRestPeriods = rest == 'Y';
  if (rest == 'y')
    reader_.suspect("the rest-period flag " + quotedForMessage(reader_.lastWord()) +
                    " begins with a lower-case y and is read as no rest periods");
  design_.RestDuration = 0;
  return !design_.HasRestPeriods ||
         countItem("the volumes of each rest period", "volumes of each rest period",
                   design_.RestDuration);
}

bool ControlFileParser::readTiming() {
  int32_t reserved = 0;
  return countItem("the number of subjects per group", "subjects per group",
                   design_.NrOfSubjectsPerGroup) &&
         checkSubjects(reader_, design_, experimentNameLine_) &&
         item("the reserved value after the subjects per group", reserved) &&
         countItem("the volumes of each trial", "volumes of each trial", design_.TrialDuration) &&
         item("the number of trials per condition", design_.NrOfTrialsPerCondition) &&
         checkTrialsPerCondition(reader_, design_) &&
         countItem("the volumes before the first protocol interval",
                   "volumes before the first protocol interval", design_.NrOfPreVolumes) &&
         countItem("the volumes after the last protocol interval",
                   "volumes after the last protocol interval", design_.NrOfPostVolumes) &&
         checkTimeline(reader_, design_);
}

bool ControlFileParser::readBox() {
  SimulationDesign& d = design_;
  return reader_.label("the VTC box along Z") &&
         reader_.integer("the start of the VTC box along Z", d.ZStart) &&
         reader_.integer("the end of the VTC box along Z", d.ZEnd) &&
         checkBoxExtent(reader_, "Z", d.ZStart, d.ZEnd) && reader_.label("the VTC box along X") &&
         reader_.integer("the start of the VTC box along X", d.XStart) &&
         reader_.integer("the end of the VTC box along X", d.XEnd) &&
         checkBoxExtent(reader_, "X", d.XStart, d.XEnd) && reader_.label("the VTC box along Y") &&
         reader_.integer("the start of the VTC box along Y", d.YStart) &&
         reader_.integer("the end of the VTC box along Y", d.YEnd) &&
         checkBoxExtent(reader_, "Y", d.YStart, d.YEnd) &&
         item("the VTC resolution", d.Resolution) && checkResolution(reader_, d);
}

bool ControlFileParser::readSignal() {
  SimulationDesign& d = design_;
  return item("the VTC header code", d.VTCHeaderCode) &&
         item("the mean baseline", d.MeanBaseline) &&
         item("the baseline SD across subjects", d.BaselineSDAcrossSubjects) &&
         item("the baseline SD across voxels", d.BaselineSDAcrossVoxels) &&
         item("the noise SD in percent", d.NoiseSDPercent);
}

bool ControlFileParser::readRegions() {
  if (!item("the number of effect regions", design_.NrOfRegions) ||
      !checkRegionCount(reader_, design_.NrOfRegions))
    return false;
  for (int r = 0; r < design_.NrOfRegions; ++r) {
    EffectRegion& region = design_.Regions[r];
    const std::string name = "region " + str(r + 1);
    if (!reader_.label("the Talairach centre of " + name) ||
        !reader_.integer("Talairach x of " + name, region.TalX) ||
        !reader_.integer("Talairach y of " + name, region.TalY) ||
        !reader_.integer("Talairach z of " + name, region.TalZ) ||
        !checkRegionCentre(reader_, design_, r))
      return false;
  }
  for (int r = 0; r < design_.NrOfRegions; ++r) {
    const std::string name = "the radius of region " + str(r + 1);
    if (!item(name, design_.Regions[r].Radius) ||
        !checkRegionExtent(reader_, name, design_.Regions[r].Radius))
      return false;
  }
  for (int r = 0; r < design_.NrOfRegions; ++r) {
    const std::string name = "the centre SD of region " + str(r + 1);
    if (!item(name, design_.Regions[r].CenterSD) ||
        !checkRegionExtent(reader_, name, design_.Regions[r].CenterSD))
      return false;
  }
  return true;
}

bool ControlFileParser::readEffectMode() {
  char mode = 0;
  if (!flagItem("the effects-per-group flag", mode)) return false;
  design_.EffectsPerGroup = mode == 'G';
  if (mode == 'g')
    reader_.suspect("the effects-per-group flag " + quotedForMessage(reader_.lastWord()) +
                    " begins with a lower-case g and is read as one row per subject");
  if (!checkEffectRows(reader_, design_)) return false;
  if (design_.EffectsPerGroup && !item("the subject effect SD", design_.SubjectEffectSD))
    return false;
  char ignored = 0;
  return flagItem("the flag word before the effect tables", ignored);
}

bool ControlFileParser::readEffectTables() {
  const WideCounts counts = wideDerivedCounts(design_);
  design_.NrOfWithinCells = static_cast<int32_t>(counts.NrOfWithinCells);
  design_.NrOfGroups = static_cast<int32_t>(counts.NrOfGroups);
  const auto rows = static_cast<int>(counts.NrOfEffectRows);
  for (int r = 0; r < design_.NrOfRegions; ++r) {
    if (!reader_.label("the effect table of region " + str(r + 1))) return false;
    for (int row = 0; row < rows; ++row)
      for (int cell = 0; cell < design_.NrOfWithinCells; ++cell)
        if (!reader_.number(cellItem(r, row, cell), design_.EffectTable[r][row][cell]))
          return false;
  }
  computeDerivedCounts(design_);
  return true;
}

}  // namespace

bool parseControlFile(const char* path, SimulationDesign& design, std::string& message) {
  message.clear();
  return ControlFileParser(path, design, message).parse();
}

bool parseControlFile(const char* path, SimulationDesign& design, std::string& message,
                      std::vector<TokenSpan>& spans) {
  message.clear();
  spans.clear();
  return ControlFileParser(path, design, message, &spans).parse();
}

}  // namespace cohortix
