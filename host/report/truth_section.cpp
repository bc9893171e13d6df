// The ground truth: where the regions are and what each cell does in them.

#include <algorithm>
#include <cmath>

#include "control/cell_index.h"
#include "control/condition_names.h"
#include "host/report/html_text.h"
#include "host/report/number_text.h"
#include "host/report/report_sections.h"
#include "host/report/slice_figure.h"

namespace cohortix::host {
namespace {

constexpr Rgb kBoxColour{236, 236, 236};
constexpr Rgb kCrosshair{40, 40, 40};

std::string talairachText(const EffectRegion& region) {
  return "(" + std::to_string(region.TalX) + ", " + std::to_string(region.TalY) + ", " +
         std::to_string(region.TalZ) + ")";
}

std::string voxelText(const VoxelIndex& v) {
  return "(" + std::to_string(v.X) + ", " + std::to_string(v.Y) + ", " + std::to_string(v.Z) + ")";
}

std::string groupName(const SimulationDesign& d, int32_t g) {
  return d.NrOfBetweenFactors > 0 && g < kMaxLevels ? std::string(d.BetweenFactors[0].Levels[g].LevelName) : "all";
}

struct TruthOfSubjects {
  std::vector<const SubjectFiles*> subjects;
  std::vector<SubjectTruth> truths;
};

Result<TruthOfSubjects> truthOfSubjects(const ReportContext& context) {
  TruthOfSubjects found;
  if (context.inputs.truth == nullptr) return found;
  for (const SubjectFiles& subject : context.run.subjects) {
    Result<std::optional<SubjectTruth>> truth = context.inputs.truth->subjectTruth(subject);
    if (!truth) return subjectFailure(context, subject, truth.status());
    if (!truth.value()) continue;
    found.subjects.push_back(&subject);
    found.truths.push_back(std::move(*truth.value()));
  }
  return found;
}

std::string regionTable(const ReportContext& context) {
  const SimulationDesign& d = context.design;
  std::vector<std::size_t> voxels(context.centres.size() + 1, 0);
  for (const uint8_t label : context.labels.labels()) ++voxels[label];
  std::vector<std::vector<std::string>> rows;
  for (std::size_t r = 0; r < context.centres.size(); ++r) {
    const EffectRegion& region = d.Regions[r];
    const std::string name = "Region " + std::to_string(r + 1);
    const VoxelIndex& centre = context.centres[r];
    rows.push_back({colourSwatch(context.colours.regions[r], name) + name, talairachText(region),
                    voxelText(centre) + (context.labels.contains(centre) ? "" : " outside the box"),
                    shortText(region.Radius, 2) + " (" + shortText(region.Radius * d.Resolution, 1) + " mm)",
                    shortText(region.CenterSD, 2), std::to_string(voxels[r + 1])});
  }
  return htmlTable({"Region", "Talairach centre (mm)", "Centre voxel (x, y, z)", "Radius, voxels",
                    "Centre SD, voxels", "Voxels in the box"},
                   rows, "Regions: spheres around their centres; each subject's centre is jittered by the centre SD",
                   "numbers");
}

Result<std::string> regionSlices(const ReportContext& context, std::size_t r, const TruthOfSubjects& truth) {
  const VoxelIndex through = clampedToBox(context.centres[r], context.series.dims);
  std::vector<SliceMarker> markers = {{through, kCrosshair, true, "centre"}};
  for (std::size_t i = 0; i < truth.truths.size(); ++i) {
    if (r >= truth.truths[i].regions.size()) continue;
    const Rgb group = context.colours.groups[static_cast<std::size_t>(truth.subjects[i]->g)];
    markers.push_back({truth.truths[i].regions[r].centre, group, false, truth.subjects[i]->name});
  }
  // Over the anatomy, when the run has one, the regions let it show through a little.
  const auto colourOf = [&context](const VoxelIndex& v) {
    const int label = context.labels.label(v);
    const std::size_t voxel = context.labels.linear(v);
    if (label == 0) return anatomyGrey(context.anatomy, voxel, kBoxColour);
    return overAnatomy(context.anatomy, voxel, context.colours.regions[static_cast<std::size_t>(label - 1)], 0.75);
  };
  std::string out = "<div class=\"slices\">";
  for (const SliceView& view : orthogonalViews(through)) {
    const RgbImage image = sliceImage(view, context.series.dims, colourOf);
    Result<std::string> figure = sliceFigure(view, context.box, context.series.dims, image,
                                             "Region " + std::to_string(r + 1), markers);
    if (!figure) return figure.status();
    out += figure.value();
  }
  return out + "</div>";
}

std::string effectTable(const ReportContext& context, std::size_t r) {
  const SimulationDesign& d = context.design;
  std::vector<std::string> header = {d.EffectsPerGroup ? "Group" : "Subject"};
  for (int32_t cell = 0; cell < d.NrOfWithinCells; ++cell) {
    const std::string name = conditionName(d, cell);
    header.push_back(colourSwatch(context.colours.cells[static_cast<std::size_t>(cell)], name) + htmlText(name));
  }
  std::vector<std::vector<std::string>> rows;
  for (int32_t row = 0; row < std::min(d.NrOfEffectRows, kMaxEffectRows); ++row) {
    std::string label;
    if (d.EffectsPerGroup) {
      label = htmlText(groupName(d, row));
    } else {
      const int32_t g = d.NrOfSubjectsPerGroup > 0 ? row / d.NrOfSubjectsPerGroup : 0;
      label = "S" + std::to_string(row + 1) + " (" + htmlText(groupName(d, g)) + ")";
    }
    std::vector<std::string> cells = {label};
    for (int32_t cell = 0; cell < d.NrOfWithinCells; ++cell)
      cells.push_back(fixedText(d.EffectTable[r][row][cell], 2));
    rows.push_back(std::move(cells));
  }
  std::string caption = "Effects in region " + std::to_string(r + 1) + ", percent of the baseline";
  if (d.EffectsPerGroup)
    caption += "; each subject draws its own effect around these with SD " + shortText(d.SubjectEffectSD, 3);
  return htmlTable(header, rows, caption, "numbers");
}

// With truth files: each group's subjects' effects, mean and SD per cell.
std::string effectSpread(const ReportContext& context, std::size_t r, const TruthOfSubjects& truth) {
  const SimulationDesign& d = context.design;
  std::vector<std::string> header = {"Group"};
  for (int32_t cell = 0; cell < d.NrOfWithinCells; ++cell) header.push_back(htmlText(conditionName(d, cell)));
  std::vector<std::vector<std::string>> rows;
  for (int32_t g = 0; g < d.NrOfGroups; ++g) {
    std::vector<std::string> cells = {htmlText(groupName(d, g))};
    bool any = false;
    for (int32_t cell = 0; cell < d.NrOfWithinCells; ++cell) {
      double sum = 0, squares = 0;
      int n = 0;
      for (std::size_t i = 0; i < truth.truths.size(); ++i) {
        if (truth.subjects[i]->g != g || r >= truth.truths[i].regions.size()) continue;
        const auto& effects = truth.truths[i].regions[r].effects;
        if (static_cast<std::size_t>(cell) >= effects.size()) continue;
        sum += effects[static_cast<std::size_t>(cell)];
        squares += effects[static_cast<std::size_t>(cell)] * effects[static_cast<std::size_t>(cell)];
        ++n;
      }
      any = any || n > 0;
      const double mean = n > 0 ? sum / n : NAN;
      const double sd = n > 1 ? std::sqrt(std::max(0.0, (squares - n * mean * mean) / (n - 1))) : NAN;
      cells.push_back(fixedText(mean, 2) + " &plusmn; " + fixedText(sd, 2));
    }
    if (any) rows.push_back(std::move(cells));
  }
  if (rows.empty()) return "";
  return htmlTable(header, rows,
                   "Effects the subjects of each group drew in region " + std::to_string(r + 1) +
                       " (mean &plusmn; SD over subjects, from the truth files)",
                   "numbers");
}

}  // namespace

Result<Section> truthSection(const ReportContext& context) {
  Result<TruthOfSubjects> truth = truthOfSubjects(context);
  if (!truth) return truth.status();
  std::string body = regionTable(context);
  if (context.centres.empty()) body += "<p>The study has no effect regions: its data are baseline and noise only.</p>";
  for (std::size_t r = 0; r < context.centres.size(); ++r) {
    const std::string name = "Region " + std::to_string(r + 1);
    body += "<h3 id=\"truth-region-" + std::to_string(r + 1) + "\">" + colourSwatch(context.colours.regions[r], name) +
            name + " at Talairach " + talairachText(context.design.Regions[r]) + "</h3>";
    if (!truth->truths.empty() && r < truth->truths[0].regions.size() &&
        !truth->truths[0].regions[r].atlas.empty())
      body += "<p>In the anatomy, subject " + htmlText(truth->subjects[0]->name) + "'s centre: " +
              htmlText(truth->truths[0].regions[r].atlas) + ".</p>";
    Result<std::string> slices = regionSlices(context, r, truth.value());
    if (!slices) return slices.status();
    body += "<figure>" + slices.value() + "<figcaption>The regions' label map on three slices through the centre of " +
            name + " (crosshair), over the whole box (grey)" +
            (truth->truths.empty() ? std::string(".") : "; dots: each subject's jittered centre, in its group's colour.") +
            "</figcaption></figure>";
    body += effectTable(context, r) + effectSpread(context, r, truth.value());
  }
  return Section{"truth", "The truth",
                 "Each region should sit where its Talairach centre says, inside the box; the effect tables are "
                 "the signal changes the data should show there.",
                 body};
}

}  // namespace cohortix::host
