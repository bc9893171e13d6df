// The study as the control file and the run's files describe it.

#include <algorithm>

#include "control/cell_index.h"
#include "control/condition_names.h"
#include "host/report/html_text.h"
#include "host/report/number_text.h"
#include "host/report/report_sections.h"

namespace cohortix::host {
namespace {

std::string text(const std::string& plain) { return htmlText(plain); }
std::string count(int64_t value) { return std::to_string(value); }

std::string volumesAndSeconds(const ReportContext& context, int64_t volumes) {
  return count(volumes) + (volumes == 1 ? " volume" : " volumes") + " (" +
         shortText(static_cast<double>(volumes) * context.series.repetitionTime, 2) + " s)";
}

std::string knownOr(const std::optional<std::string>& value) {
  return value ? text(*value) : "<span class=\"unknown\">not recorded with the run</span>";
}

// A value the run's record leaves out is one the run did not use.
std::string recordedOr(const ReportInputs& in, const std::optional<std::string>& value,
                       const std::string& none) {
  return value || !in.recorded ? knownOr(value) : text(none);
}

std::string overview(const ReportContext& context) {
  const SimulationDesign& d = context.design;
  const ReportInputs& in = context.inputs;
  const std::string layout = context.run.layout == RunLayout::Bids ? "BIDS dataset" : "native files";
  std::string subjects = count(static_cast<int64_t>(context.run.subjects.size())) + " of " +
                         count(d.NrOfSubjects) + " subjects complete";
  if (!context.run.incompleteSubjects.empty()) {
    subjects += "; files missing for";
    for (const std::string& name : context.run.incompleteSubjects) subjects += " " + text(name);
  }
  // Left out with --skip-damaged: each subject with the file and fault that made it so.
  for (std::size_t i = 0; i < context.run.damagedSubjects.size(); ++i)
    subjects += (i == 0 ? "; left out as damaged: " : "; ") + text(context.run.damagedSubjects[i]);
  if (!in.unfinished.empty()) subjects += "; the run had not finished: " + text(in.unfinished);
  const VTCDims& dims = context.series.dims;
  std::vector<std::vector<std::string>> rows = {
      {"Experiment", text(d.ExperimentName)},
      {"Run folder", text(context.run.root.string()) + " (" + layout + ")"},
      {"Control file", text(context.run.controlFile.string())},
      {"Subjects", subjects},
      {"Repetition time (TR)", shortText(context.series.repetitionTime, 3) + " s"},
      {"Volumes per run", volumesAndSeconds(context, d.NrOfVolumes)},
      {"Box (anatomy voxels)", "x " + count(d.XStart) + " to " + count(d.XEnd) + ", y " +
                                   count(d.YStart) + " to " + count(d.YEnd) + ", z " +
                                   count(d.ZStart) + " to " + count(d.ZEnd)},
      {"Resolution", count(d.Resolution) + " mm; " + count(dims.x) + " x " + count(dims.y) + " x " +
                         count(dims.z) + " voxels"},
      {"Baseline", "mean " + count(d.MeanBaseline) + ", SD across subjects " +
                       shortText(d.BaselineSDAcrossSubjects, 3) + ", across voxels " +
                       shortText(d.BaselineSDAcrossVoxels, 3)},
      {"Noise", shortText(d.NoiseSDPercent, 3) + " % of the baseline (SD)"},
      {"Noise profile", recordedOr(in, in.noiseProfile, "none (no host noise)")},
      {"Seed", recordedOr(in, in.seed ? std::optional<std::string>(std::to_string(*in.seed)) : std::nullopt,
                          "none (no host noise)")},
      {"Replicate",
       knownOr(in.replicate ? std::optional<std::string>(std::to_string(*in.replicate)) : std::nullopt)},
      {"Command line", in.commandLine.empty() ? knownOr(std::nullopt)
                                              : "<code>" + text(in.commandLine) + "</code>"},
  };
  if (!in.madeBy.empty()) rows.push_back({"Made by", text(in.madeBy)});
  if (!in.ranAt.empty()) rows.push_back({"Ran (UTC)", text(in.ranAt)});
  return htmlTable({"What", "Value"}, rows, "The study at a glance", "facts");
}

std::string factors(const ReportContext& context) {
  const SimulationDesign& d = context.design;
  std::vector<std::vector<std::string>> rows;
  for (int f = 0; f < std::clamp(d.NrOfWithinFactors, 0, kMaxWithinFactors); ++f) {
    const DesignFactor& factor = d.WithinFactors[f];
    std::string levels;
    for (int32_t l = 0; l < std::clamp(factor.NrOfLevels, 0, kMaxLevels); ++l) {
      const DesignLevel& level = factor.Levels[l];
      levels += "<span class=\"level\">" + colourSwatch(context.colours.levels[f][static_cast<std::size_t>(l)], level.LevelName) +
                text(level.LevelName) + " <small>(" + count(level.ColorR) + " " + count(level.ColorG) +
                " " + count(level.ColorB) + ")</small></span> ";
    }
    rows.push_back({"within " + count(f + 1), text(factor.FactorName), levels});
  }
  if (d.NrOfBetweenFactors > 0) {
    const DesignFactor& factor = d.BetweenFactors[0];
    std::string levels;
    for (int32_t g = 0; g < std::min(d.NrOfGroups, kMaxLevels); ++g)
      levels += "<span class=\"level\">" + colourSwatch(context.colours.groups[static_cast<std::size_t>(g)], factor.Levels[g].LevelName) +
                text(factor.Levels[g].LevelName) + "</span> ";
    rows.push_back({"between (groups)", text(factor.FactorName), levels});
  }
  return htmlTable({"Factor", "Name", "Levels (colour as given)"}, rows, "Factors and their levels");
}

std::string cells(const ReportContext& context) {
  const SimulationDesign& d = context.design;
  std::vector<std::vector<std::string>> rows;
  for (int32_t cell = 0; cell < d.NrOfWithinCells; ++cell) {
    const auto c = static_cast<std::size_t>(cell);
    const std::string name = conditionName(d, cell);
    rows.push_back({count(cell + 1), colourSwatch(context.colours.cells[c], name) + text(name),
                    count(conditionOfCell(d, cell)),
                    context.colours.cellOrigin[c]});
  }
  return htmlTable({"Cell", "Condition", "Protocol condition", "Colour"}, rows,
                   "Cells: one protocol condition and one predictor each" +
                       std::string(d.HasRestPeriods ? " (condition 0 is \"Baseline\")" : ""));
}

std::string groups(const ReportContext& context) {
  const SimulationDesign& d = context.design;
  std::vector<std::vector<std::string>> rows;
  for (int32_t g = 0; g < d.NrOfGroups; ++g) {
    const std::string name = d.NrOfBetweenFactors > 0 && g < kMaxLevels ? d.BetweenFactors[0].Levels[g].LevelName
                                                                        : std::string("all");
    const int32_t first = subjectNumber(d, g, 0), last = subjectNumber(d, g, d.NrOfSubjectsPerGroup - 1);
    rows.push_back({count(groupNumber(g)), colourSwatch(context.colours.groups[static_cast<std::size_t>(g)], name) + text(name),
                    count(d.NrOfSubjectsPerGroup), "S" + count(first) + " to S" + count(last),
                    context.colours.groupGiven[static_cast<std::size_t>(g)] ? "the study's" : "none given: palette"});
  }
  return htmlTable({"Group", "Name", "Subjects", "Numbers", "Colour"}, rows, "Groups");
}

std::string timing(const ReportContext& context) {
  const SimulationDesign& d = context.design;
  std::vector<std::vector<std::string>> rows = {
      {"Before the first trial", volumesAndSeconds(context, d.NrOfPreVolumes)},
      {"Trial", volumesAndSeconds(context, d.TrialDuration)},
      {"Rest (before, between and after the trials)",
       d.HasRestPeriods ? volumesAndSeconds(context, d.RestDuration) : "none"},
      {"After the last trial", volumesAndSeconds(context, d.NrOfPostVolumes)},
      {"Trials", count(d.NrOfTrialsPerCondition) + " per cell, " + count(d.NrOfTrials) +
                     " in all, in a random order for each subject"},
  };
  return htmlTable({"Period", "Length"}, rows, "Timing of one run", "facts");
}

}  // namespace

Result<Section> studySection(const ReportContext& context) {
  std::string body = overview(context);
  body += "<div class=\"side-by-side\">" + timing(context) + groups(context) + "</div>";
  body += factors(context) + cells(context);
  body += "<h3 id=\"control-file\">The control file</h3><pre class=\"control\">" +
          htmlText(context.run.controlText) + "</pre>";
  return Section{"study", "The study",
                 "Check that factors, levels, colours, groups, timing and box are what you meant "
                 "to simulate.",
                 body};
}

}  // namespace cohortix::host
