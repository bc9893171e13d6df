// The power analysis in the report: for each effect tested over all subjects (or
// the table's first scope), the estimated power of each region against the
// subjects per group, with the 95% intervals, then the table itself.

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "control/condition_names.h"
#include "host/report/html_text.h"
#include "host/report/number_text.h"
#include "host/report/result_figures.h"
#include "host/report/svg_plot.h"

namespace cohortix::host {
namespace {

constexpr Rgb kTarget{150, 150, 150};
constexpr Rgb kStyle{60, 60, 60};

template <typename T>
void addOnce(std::vector<T>& list, const T& value) {
  if (std::find(list.begin(), list.end(), value) == list.end()) list.push_back(value);
}

// "Region2" is region index 1; anything else takes the palette's colour by its place.
Rgb regionColour(const ReportContext& context, const std::string& region, std::size_t place) {
  if (region.rfind("Region", 0) == 0) {
    const long number = std::strtol(region.c_str() + 6, nullptr, 10);
    if (number >= 1 && static_cast<std::size_t>(number) <= context.colours.regions.size())
      return context.colours.regions[static_cast<std::size_t>(number - 1)];
  }
  return paletteColour(static_cast<int>(place));
}

std::string estimateText(const PowerEntry& row) {
  if (std::isnan(row.estimate)) return "n/a";
  return fixedText(row.estimate, 3) + " [" + fixedText(row.low, 3) + ", " + fixedText(row.high, 3) + "]";
}

std::string powerPlot(const ReportContext& context, const std::string& scope, const std::string& effect,
                      const std::vector<PowerEntry>& rows) {
  std::vector<std::string> regions;
  std::vector<int32_t> sizes;
  for (const PowerEntry& row : rows) {
    if (row.scope != scope || row.effect != effect || row.region == "outside") continue;
    addOnce(regions, row.region);
    addOnce(sizes, row.subjects);
  }
  if (regions.empty() || sizes.empty()) return "";
  const auto [fewest, most] = std::minmax_element(sizes.begin(), sizes.end());
  const double span = std::max(1, *most - *fewest);
  LinePlot plot("Power of " + effect + " (" + scope + ") against subjects per group", 640, 300);
  plot.setXAxis("subjects per group", *fewest - span * 0.08, *most + span * 0.08);
  plot.setXWholeNumbers();
  plot.setYAxis("power, share of replicates or voxels");
  plot.setYRange(0, 1);
  plot.addSeries({"0.8", {*fewest - span * 0.08, *most + span * 0.08}, {0.8, 0.8}, kTarget, 1.0, true, {}, {}, false});
  const char* measures[] = {"roi_power", "sensitivity"};
  std::string legend;
  // Regions side by side at each size, so their intervals do not hide one another.
  const double count = static_cast<double>(regions.size() * 2);
  std::size_t drawn = 0;
  for (std::size_t r = 0; r < regions.size(); ++r) {
    const Rgb colour = regionColour(context, regions[r], r);
    double trueEffect = NAN;
    for (const char* measure : measures) {
      PlotSeries series{regions[r] + " " + measure, {}, {}, colour, 2.0, measure == measures[1], {}, {}, true};
      const double offset = (static_cast<double>(drawn++) - (count - 1) / 2) * span * 0.012;
      std::vector<const PowerEntry*> points;
      for (const PowerEntry& row : rows)
        if (row.scope == scope && row.effect == effect && row.region == regions[r] && row.measure == measure)
          points.push_back(&row);
      std::sort(points.begin(), points.end(),
                [](const PowerEntry* a, const PowerEntry* b) { return a->subjects < b->subjects; });
      for (const PowerEntry* row : points) {
        series.x.push_back(row->subjects + offset);
        series.y.push_back(row->estimate);
        series.low.push_back(row->low);
        series.high.push_back(row->high);
        trueEffect = row->trueEffect;
      }
      if (!series.x.empty()) plot.addSeries(std::move(series));
    }
    legend += "<li>" + colourSwatch(colour, regions[r]) + htmlText(regions[r]) + ", true effect " +
              fixedText(trueEffect, 2) + " %</li>";
  }
  plot.addLegend({"region-mean test (roi_power)", kStyle, false, false});
  plot.addLegend({"voxels (sensitivity)", kStyle, false, true});
  plot.addLegend({"power 0.8", kTarget, false, true});
  return "<figure class=\"power-curve\" data-effect=\"" + htmlText(effect) + "\">" + plot.svg() +
         "<ul class=\"legend\">" + legend + "</ul><figcaption>Estimated power of " + htmlText(effect) + " (" +
         htmlText(scope) + ") with 95% intervals over the replicates: solid, the share of replicates whose "
         "region-mean test rejects; dashed, the mean share of the region's voxels significant in the maps.</figcaption>"
         "</figure>";
}

std::string powerTable(const std::vector<PowerEntry>& rows) {
  std::vector<std::vector<std::string>> cells;
  for (std::size_t i = 0; i < rows.size() && i < kMaxPowerRows; ++i) {
    const PowerEntry& row = rows[i];
    cells.push_back({std::to_string(row.subjects), htmlText(row.scope), htmlText(row.effect), htmlText(row.region),
                     htmlText(row.measure), fixedText(row.trueEffect, 2), estimateText(row),
                     fixedText(row.analytic, 3), std::to_string(row.replicates)});
  }
  std::string caption = "The power table";
  if (rows.size() > kMaxPowerRows)
    caption += ": its first " + std::to_string(kMaxPowerRows) + " of " + std::to_string(rows.size()) + " rows";
  return htmlTable({"Subjects per group", "Test", "Effect", "Region", "Measure", "True effect, %",
                    "Estimate [95% interval]", "Analytic", "Replicates"},
                   cells, caption, "numbers");
}

}  // namespace

std::string powerResults(const ReportContext& context, const std::string& source,
                         const std::vector<PowerEntry>& rows) {
  std::string out = "<h3 id=\"results-power\">Power</h3><p>From " + htmlText(source) +
                    ". Power should rise with the subjects per group, faster for larger true effects; a region "
                    "without a true effect should stay near the error rate.</p>";
  if (rows.empty()) return out + "<p class=\"unknown\">The power table has no rows.</p>";
  const std::string scope =
      std::any_of(rows.begin(), rows.end(), [](const PowerEntry& row) { return row.scope == "all"; })
          ? "all"
          : rows.front().scope;
  std::vector<std::string> effects;
  for (const PowerEntry& row : rows)
    if (row.scope == scope) addOnce(effects, row.effect);
  for (const std::string& effect : effects) out += powerPlot(context, scope, effect, rows);
  return out + powerTable(rows);
}

Status powerTableOfStudy(const SimulationDesign& design, const std::string& source,
                         const std::vector<PowerEntry>& rows) {
  std::vector<std::string> cells;
  for (int32_t c = 0; c < design.NrOfWithinCells; ++c) cells.push_back(conditionName(design, c));
  const std::string other = source + " is the power table of another study: ";
  bool cellFound = rows.empty();
  for (const PowerEntry& row : rows) {
    cellFound = cellFound || std::find(cells.begin(), cells.end(), row.effect) != cells.end();
    if (row.region == "outside") continue;
    const bool numbered = row.region.rfind("Region", 0) == 0 && row.region.size() > 6 &&
                          row.region.find_first_not_of("0123456789", 6) == std::string::npos;
    const long number = numbered ? std::strtol(row.region.c_str() + 6, nullptr, 10) : 0;
    if (number < 1 || number > design.NrOfRegions)
      return Status::error(other + "it names " + row.region + ", the study has " +
                           std::to_string(design.NrOfRegions) + " regions");
  }
  if (!cellFound) {
    std::string names;
    for (const std::string& cell : cells) names += (names.empty() ? "" : ", ") + cell;
    return Status::error(other + "none of its effects is a cell of the study (" + names + ")");
  }
  return Status::ok();
}

}  // namespace cohortix::host
