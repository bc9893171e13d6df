// The analysis's group maps in the report: the table of every map, then the maps
// over all subjects on slices through each region's centre, with the truth's
// outline over them, and their scores against that truth.

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>

#include "host/analysis/asked_regions.h"
#include "host/analysis/map_score.h"
#include "host/report/html_text.h"
#include "host/report/number_text.h"
#include "host/report/result_figures.h"
#include "host/report/slice_figure.h"
#include "host/report/svg_plot.h"

namespace cohortix::host {
namespace {

constexpr Rgb kUntested{236, 236, 236};
constexpr Rgb kNeutral{247, 247, 247};
constexpr Rgb kNegative{33, 102, 172};  // the ends of a blue-red diverging scale
constexpr Rgb kPositive{178, 24, 43};
constexpr Rgb kFaded{200, 200, 200};
constexpr Rgb kCrosshair{40, 40, 40};

Rgb mixed(Rgb from, Rgb to, double amount) {
  const auto channel = [amount](uint8_t a, uint8_t b) {
    return static_cast<uint8_t>(std::lround(a + (static_cast<double>(b) - a) * std::clamp(amount, 0.0, 1.0)));
  };
  return {channel(from.red, to.red), channel(from.green, to.green), channel(from.blue, to.blue)};
}

// Outside the analysis's mask a map holds 0 (or NaN): drawn as untested.
Rgb tColour(float t, bool significant, double range) {
  if (!std::isfinite(t) || t == 0.0f) return kUntested;
  const Rgb colour = mixed(kNeutral, t > 0 ? kPositive : kNegative, std::fabs(t) / range);
  return significant ? colour : mixed(colour, kFaded, 0.6);
}

std::string tColourBar(const std::string& id, double range) {
  std::string out = svgOpen(320, 60, "colour scale of t");
  out += "<defs><linearGradient id=\"" + id + "\">";
  for (int i = 0; i <= 10; ++i) {
    const double t = range * (i - 5) / 5.0;
    out += "<stop offset=\"" + shortText(i / 10.0, 1) + "\" stop-color=\"" +
           cssColour(tColour(static_cast<float>(t == 0 ? 1e-9 : t), true, range)) + "\"/>";
  }
  out += "</linearGradient></defs><rect x=\"20\" y=\"6\" width=\"280\" height=\"14\" fill=\"url(#" + id + ")\"/>";
  out += bottomAxis({-range, range, 20, 300}, 20, "");
  out += "<text x=\"160\" y=\"56\" text-anchor=\"middle\" class=\"title\">t (paler where not significant)</text>";
  return out + "</svg>";
}

// The maps drawn: those over all subjects (cells and contrasts), or those of the
// table's first groups when none is over all, at most kMaxDrawnMaps.
std::vector<const GroupMapEntry*> drawnMaps(const std::vector<GroupMapEntry>& maps) {
  std::vector<const GroupMapEntry*> chosen;
  if (maps.empty()) return chosen;
  const bool anyOverAll =
      std::any_of(maps.begin(), maps.end(), [](const GroupMapEntry& map) { return map.groups == "all"; });
  const std::string groups = anyOverAll ? "all" : maps.front().groups;
  for (const GroupMapEntry& map : maps)
    if (map.groups == groups && chosen.size() < kMaxDrawnMaps) chosen.push_back(&map);
  return chosen;
}

// A figure of the table as the report prints numbers (the table keeps every digit);
// anything that is not a number ("n/a") as it stands.
// The cell's number; nothing unless the whole cell is one.
std::optional<double> numberIn(const std::string& cell) {
  double value = 0;
  const auto [end, error] = std::from_chars(cell.data(), cell.data() + cell.size(), value);
  if (cell.empty() || error != std::errc() || end != cell.data() + cell.size()) return std::nullopt;
  return value;
}

std::string figureText(const std::string& cell, int decimals, bool trimmed = false) {
  const std::optional<double> number = numberIn(cell);
  if (!number) return htmlText(cell);
  const double value = *number;
  return trimmed ? shortText(value, decimals) : fixedText(value, decimals);
}

// A p value to three significant digits, in any locale the same.
std::string pText(const std::string& cell) {
  const std::optional<double> value = numberIn(cell);
  if (!value || !std::isfinite(*value)) return htmlText(cell);
  char text[32];
  const auto written = std::to_chars(text, text + sizeof text, *value, std::chars_format::general, 3);
  return std::string(text, written.ptr);
}

std::string correctionText(const std::string& correction) {
  if (correction == "none") return "uncorrected";
  if (correction == "fdr") return "FDR";
  if (correction == "bonferroni") return "Bonferroni";
  if (correction == "fwe") return "FWE (permutation)";
  if (correction == "cluster") return "cluster FWE (permutation)";
  return correction;
}

// "FDR 0.05: |t| >= 4.21"; where the degrees of freedom vary by voxel, the p. The
// permutation threshold is a statistic to exceed, whatever the degrees of freedom.
std::string thresholdText(const GroupMapEntry& map) {
  std::string out = htmlText(correctionText(map.correction) + " " + map.alpha + ": ");
  // With no discovery the FDR procedure has no threshold: alpha / m is only the
  // least any voxel would have needed.
  if (map.correction == "fdr" && map.significantVoxels == 0)
    return out + "none passes; the smallest p would need p &le; " + pText(map.pThreshold);
  if (map.tThreshold == "n/a" || map.tThreshold.empty()) return out + "p &le; " + pText(map.pThreshold);
  const std::string comparison = map.correction == "fwe" ? " &gt; " : " &ge; ";
  const std::string clusters = map.correction == "cluster" ? "clusters of " : "";
  return out + clusters + (map.tail == "upper" ? "t" : "|t|") + comparison + figureText(map.tThreshold, 2);
}

std::string mapsTable(const std::vector<GroupMapEntry>& maps) {
  std::vector<std::vector<std::string>> rows;
  for (const GroupMapEntry& map : maps)
    rows.push_back({htmlText(map.map), htmlText(map.test), htmlText(map.groups), htmlText(map.effect),
                    htmlText(map.subjects), figureText(map.df, 2, true), thresholdText(map),
                    std::to_string(map.significantVoxels) + " of " + std::to_string(map.testedVoxels),
                    figureText(map.maxAbsT, 2)});
  return htmlTable({"Map", "Test", "Groups", "Effect", "Subjects", "df", "Threshold", "Significant voxels",
                    "Max |t|"},
                   rows, "Group maps of the analysis (significant of the voxels tested)", "numbers");
}

// The truth as the design asks it: region r's voxels labelled r + 1.
std::vector<float> truthLabels(const AskedRegions& truth, std::size_t voxels) {
  std::vector<float> labels(voxels, 0.0f);
  for (int32_t r = 0; r < truth.regions(); ++r)
    for (const int64_t v : truth.regionVoxels(r))
      if (v >= 0 && static_cast<std::size_t>(v) < voxels) labels[static_cast<std::size_t>(v)] = static_cast<float>(r + 1);
  return labels;
}

std::string rateText(double value) { return fixedText(value, 3); }

std::vector<std::string> scoreRow(const GroupMapEntry& map, const MapScore& score) {
  int64_t found = 0;
  std::string byRegion;
  for (const RegionDetection& region : score.regions) {
    found += region.detected() ? 1 : 0;
    byRegion += (byRegion.empty() ? "" : ", ") + std::string("Region ") + std::to_string(region.label) + ": " +
                std::to_string(region.detectedVoxels) + "/" + std::to_string(region.voxels);
  }
  return {htmlText(map.map), rateText(score.sensitivity), rateText(score.specificity),
          rateText(score.falseDiscoveryProportion), rateText(score.dice),
          std::to_string(found) + " of " + std::to_string(score.regions.size()) +
              (byRegion.empty() ? "" : " (" + byRegion + ")")};
}

Result<std::string> mapFigure(const ReportContext& context, std::size_t index, const GroupMapEntry& map,
                              const GroupMapImages& images, const std::vector<float>& truth) {
  const VTCDims dims = context.series.dims;
  double range = 0;
  for (const float t : images.t)
    if (std::isfinite(t)) range = std::max(range, static_cast<double>(std::fabs(t)));
  if (!(range > 0)) range = 1;
  const LabelMap& grid = context.labels;
  // Over the anatomy: significant voxels in full colour, the others faintly over
  // it, untested ones the anatomy alone.
  const AnatomyBackground& anatomy = context.anatomy;
  const auto colourOf = [&](const VoxelIndex& v) {
    const std::size_t i = grid.linear(v);
    const float t = images.t[i];
    const bool significant = images.thresholded[i] != 0.0f;
    if (anatomy.empty() || significant) return tColour(t, significant, range);
    if (!std::isfinite(t) || t == 0.0f) return anatomyGrey(anatomy, i, kUntested);
    return overAnatomy(anatomy, i, tColour(t, true, range), 0.3);
  };
  const auto inTruth = [&](const VoxelIndex& v) { return truth[grid.linear(v)] != 0.0f; };
  std::vector<VoxelIndex> centres = context.centres;
  if (centres.empty()) centres.push_back({dims.x / 2, dims.y / 2, dims.z / 2});
  std::string out;
  for (std::size_t r = 0; r < centres.size(); ++r) {
    const VoxelIndex through = clampedToBox(centres[r], dims);
    const std::string where = context.centres.empty() ? "the box's middle" : "Region " + std::to_string(r + 1);
    out += "<div class=\"slices\">";
    for (const SliceView& view : orthogonalViews(through)) {
      Result<std::string> figure =
          sliceFigure(view, context.box, dims, sliceImage(view, dims, colourOf), map.map + ", " + where,
                      {{through, kCrosshair, true, where}}, sliceOutline(view, dims, inTruth));
      if (!figure) return figure.status();
      out += figure.value();
    }
    out += "</div>";
  }
  out += tColourBar("t-scale-" + std::to_string(index + 1), range);
  return "<figure class=\"group-map\" data-map=\"" + htmlText(map.map) + "\">" + out + "<figcaption>" +
         htmlText(map.test + " of " + map.effect + " over " + map.groups + " (" + map.subjects + " subjects, df " +
                  map.df + ")") +
         " on three slices through the centre of " +
         (context.centres.empty() ? std::string("the box") : std::string("each region (crosshair)")) +
         "; black line: the truth's outline, the regions' voxels as the design asks them; paler: not "
         "significant (" + thresholdText(map) + "); " +
         (anatomy.empty() ? "grey: not tested." : "the anatomy alone: not tested.") + "</figcaption></figure>";
}

// A cluster-level map's largest clusters: where its significance lies.
std::string clusterTable(const GroupMapEntry& map, const std::vector<ClusterEntry>& clusters) {
  if (clusters.empty()) return "";
  constexpr std::size_t kShown = 10;
  std::vector<std::vector<std::string>> rows;
  for (std::size_t c = 0; c < std::min(clusters.size(), kShown); ++c) {
    const ClusterEntry& cluster = clusters[c];
    rows.push_back({std::to_string(c + 1), htmlText(cluster.side), htmlText(cluster.voxels),
                    pText(cluster.pFamilyWise), htmlText(cluster.significant), figureText(cluster.peakT, 2),
                    htmlText("(" + cluster.peakX + ", " + cluster.peakY + ", " + cluster.peakZ + ")")});
  }
  const std::string shown = clusters.size() > kShown ? "the " + std::to_string(kShown) + " largest of " : "all ";
  return htmlTable({"Cluster", "Side", "Voxels", "Family-wise p", "Significant", "Peak t", "Peak (Talairach mm)"},
                   rows, "Clusters of " + htmlText(map.map) + " (" + shown + std::to_string(clusters.size()) + ")",
                   "numbers");
}

}  // namespace

Result<std::string> groupMapResults(const ReportContext& context, ResultsInput& results,
                                    const std::vector<GroupMapEntry>& maps) {
  std::string out = "<h3 id=\"results-maps\">Group maps</h3><p>From " + htmlText(results.analysisSource()) +
                    ". Each effect should have significant voxels where the truth puts it, and few elsewhere.</p>" +
                    mapsTable(maps);
  const std::vector<const GroupMapEntry*> drawn = drawnMaps(maps);
  if (drawn.empty()) return out;
  const SimulationDesign& design = context.design;
  const AskedRegions asked(design, std::max(1, design.NrOfSubjectsPerGroup));
  const std::vector<float> truth = truthLabels(asked, context.labels.voxelCount());
  std::vector<std::vector<std::string>> scores;
  std::string figures;
  for (std::size_t i = 0; i < drawn.size(); ++i) {
    const GroupMapEntry* map = drawn[i];
    Result<GroupMapImages> images =
        results.groupMapImages(*map, static_cast<int64_t>(context.labels.voxelCount()));
    if (!images) return images.status();
    Result<MapScore> score = scoreMap(images->thresholded, truth,
                                      ScoreOptions{std::nullopt, map->tail == "upper" ? Tail::Upper : Tail::Two});
    if (!score) return score.status().context("cannot score " + map->map);
    scores.push_back(scoreRow(*map, score.value()));
    Result<std::string> figure = mapFigure(context, i, *map, images.value(), truth);
    if (!figure) return figure.status();
    figures += "<h4>" + htmlText(map->map) + "</h4>" + figure.value() + clusterTable(*map, images->clusters);
  }
  out += "<h3 id=\"results-scores\">Scores against the truth</h3><p>Each thresholded map against the regions' "
         "voxels as the design asks them: sensitivity and Dice near 1 and a false discovery proportion near 0 "
         "mean the map found the truth (a region without an effect for this test should stay undetected).</p>";
  out += htmlTable({"Map", "Sensitivity", "Specificity", "False discovery proportion", "Dice", "Regions detected"},
                   scores, "Scores of the thresholded maps (voxels detected over the whole box)", "numbers");
  out += "<h3 id=\"results-slices\">Maps over the truth</h3><p>The t values should be strongest inside the black "
         "outlines; colour outside them is noise or a spread of the subjects' jittered regions.</p>" + figures;
  return out;
}

}  // namespace cohortix::host
