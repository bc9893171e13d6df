#include "app/design_summary.h"

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "control/cell_index.h"
#include "control/condition_names.h"
#include "control/output_names.h"
#include "control/vtc_geometry.h"
#include "host/export/decimal_text.h"
#include "host/export/json_text.h"
#include "host/formats/vtc_format.h"

namespace cohortix::app {
namespace {

std::string padded(const std::string& text, std::size_t width) {
  return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

std::string rightAligned(const std::string& text, std::size_t width) {
  return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

std::string volumes(int64_t count) {
  return std::to_string(count) + (count == 1 ? " volume" : " volumes");
}

std::string colourText(int64_t r, int64_t g, int64_t b) {
  return "colour " + std::to_string(r) + " " + std::to_string(g) + " " + std::to_string(b);
}

std::string byteSize(double bytes) {
  const char* units[] = {"bytes", "KB", "MB", "GB", "TB"};
  int unit = 0;
  for (; bytes >= 1000 && unit < 4; ++unit) bytes /= 1000;
  char text[32];
  std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, units[unit]);
  return text;
}

bool hasCells(const SimulationDesign& d) {
  return d.NrOfWithinFactors >= 1 && d.NrOfWithinFactors <= kMaxWithinFactors;
}

void printFactors(std::ostream& out, const SimulationDesign& d) {
  out << "Within factors: " << d.NrOfWithinFactors << '\n';
  for (int f = 0; f < std::min(d.NrOfWithinFactors, kMaxWithinFactors); ++f) {
    const DesignFactor& factor = d.WithinFactors[f];
    out << "  " << f + 1 << ". " << factor.FactorName << ": " << factor.NrOfLevels
        << " levels\n";
    for (int l = 0; l < factor.NrOfLevels; ++l) {
      const DesignLevel& level = factor.Levels[l];
      out << "       " << padded(level.LevelName, 16) << " "
          << colourText(level.ColorR, level.ColorG, level.ColorB) << '\n';
    }
  }
}

void printCells(std::ostream& out, const SimulationDesign& d) {
  out << "Cells: " << d.NrOfWithinCells << " (conditions in protocol order";
  out << (d.HasRestPeriods ? ", after \"Baseline\")\n" : ")\n");
  if (!hasCells(d)) return;
  for (int32_t cell = 0; cell < d.NrOfWithinCells; ++cell) {
    const CellColor color = cellColor(d, cell);
    out << "  " << rightAligned(std::to_string(cell + 1), 3) << ". "
        << padded(conditionName(d, cell), 24) << " "
        << colourText(color.Red, color.Green, color.Blue) << '\n';
  }
}

std::string groupName(const SimulationDesign& d, int32_t g) {
  if (d.NrOfBetweenFactors >= 1) return d.BetweenFactors[0].Levels[g].LevelName;
  return "all subjects";
}

void printGroups(std::ostream& out, const SimulationDesign& d) {
  out << "Groups: " << d.NrOfGroups;
  if (d.NrOfBetweenFactors >= 1) {
    out << " (" << d.BetweenFactors[0].FactorName << ":";
    for (int32_t g = 0; g < d.NrOfGroups; ++g) out << (g ? ", " : " ") << groupName(d, g);
    out << ")";
  }
  out << "\nSubjects: " << d.NrOfSubjectsPerGroup << " per group, " << d.NrOfSubjects
      << " in all\n";
}

void printTimeline(std::ostream& out, const SimulationDesign& d) {
  out << "Trials per run: " << d.NrOfTrials << " (" << d.NrOfTrialsPerCondition
      << " per condition) of " << volumes(d.TrialDuration) << '\n';
  out << "Volumes per run: " << d.NrOfVolumes << " = " << d.NrOfPreVolumes << " before";
  if (d.HasRestPeriods)
    out << " + rest " << d.RestDuration << " + " << d.NrOfTrials << " x (trial "
        << d.TrialDuration << " + rest " << d.RestDuration << ")";
  else
    out << " + " << d.NrOfTrials << " x trial " << d.TrialDuration;
  out << " + " << d.NrOfPostVolumes << " after\n";
}

// The box in Talairach millimetres: anatomy coordinate a is Talairach 128 - a, the
// VTC's X axis running along Talairach y, Y along z and Z along x.
struct TalairachExtent {
  int64_t x[2], y[2], z[2];
};

TalairachExtent talairachExtentOf(const SimulationDesign& d) {
  auto span = [](int64_t start, int64_t end, int64_t* range) {
    range[0] = std::min(kAnatomyCentre - start, kAnatomyCentre - end);
    range[1] = std::max(kAnatomyCentre - start, kAnatomyCentre - end);
  };
  TalairachExtent tal{};
  span(d.ZStart, d.ZEnd, tal.x);
  span(d.XStart, d.XEnd, tal.y);
  span(d.YStart, d.YEnd, tal.z);
  return tal;
}

void printGeometry(std::ostream& out, const SimulationDesign& d, bool inMillimetres) {
  const VTCDims dims = vtcDims(vtcBoxOf(d));
  out << "VTC box: X " << d.XStart << ".." << d.XEnd << ", Y " << d.YStart << ".." << d.YEnd
      << ", Z " << d.ZStart << ".." << d.ZEnd << ", resolution " << d.Resolution << '\n';
  const TalairachExtent tal = talairachExtentOf(d);
  if (inMillimetres)
    out << "VTC box in Talairach space: x " << tal.x[0] << ".." << tal.x[1] << ", y " << tal.y[0]
      << ".." << tal.y[1] << ", z " << tal.z[0] << ".." << tal.z[1] << " mm\n";
  out << "VTC dimensions: " << dims.DimX << " x " << dims.DimY << " x " << dims.DimZ
      << " voxels, " << volumes(d.NrOfVolumes) << '\n';
  out << "Signal: baseline " << d.MeanBaseline << ", SD " << host::roundedText(d.BaselineSDAcrossSubjects)
      << " across subjects, " << host::roundedText(d.BaselineSDAcrossVoxels) << " across voxels; noise SD "
      << host::roundedText(d.NoiseSDPercent) << "% of baseline\n";
}

std::string radiusText(float radius, int32_t resolution) {
  return host::roundedText(radius) + " voxels (" +
         host::roundedText(static_cast<double>(radius) * resolution) + " mm)";
}

// Whether the region's sphere, before jitter, lies wholly inside the VTC box.
bool sphereInsideBox(const VoxelIndex& c, float radius, const VTCDims& dims) {
  const double r = std::max(0.0f, radius);
  auto inside = [r](int32_t centre, int32_t dim) { return centre - r >= 0 && centre + r < dim; };
  return inside(c.X, dims.DimX) && inside(c.Y, dims.DimY) && inside(c.Z, dims.DimZ);
}

void printRegions(std::ostream& out, const SimulationDesign& d, bool inMillimetres) {
  const VTCBox box = vtcBoxOf(d);
  const VTCDims dims = vtcDims(box);
  out << "Regions: " << d.NrOfRegions << '\n';
  for (int r = 0; r < d.NrOfRegions; ++r) {
    const EffectRegion& region = d.Regions[r];
    const VoxelIndex c = regionCentreVoxel(region, box);
    out << "  " << r + 1 << ". Talairach (" << region.TalX << ", " << region.TalY << ", "
        << region.TalZ << "), radius "
        << (inMillimetres ? radiusText(region.Radius, d.Resolution) : host::roundedText(region.Radius))
        << ", centre SD "
        << host::roundedText(region.CenterSD) << " -> VTC voxel (" << c.X << ", " << c.Y << ", " << c.Z
        << ")" << (sphereInsideBox(c, region.Radius, dims) ? "" : ", reaches outside the box")
        << '\n';
  }
}

std::string rowLabel(const SimulationDesign& d, int32_t row) {
  if (d.EffectsPerGroup) return groupName(d, row);
  if (d.NrOfSubjectsPerGroup <= 0) return "row " + std::to_string(row + 1);
  const int32_t g = row / d.NrOfSubjectsPerGroup;
  return "S" + std::to_string(row + 1) + " " + groupName(d, g);
}

std::vector<std::string> columnLabels(const SimulationDesign& d) {
  std::vector<std::string> labels;
  for (int32_t cell = 0; cell < d.NrOfWithinCells; ++cell)
    labels.push_back(hasCells(d) ? conditionName(d, cell) : "cell " + std::to_string(cell + 1));
  return labels;
}

void printEffectTable(std::ostream& out, const SimulationDesign& d, int r) {
  out << "Effects of region " << r + 1 << " (% of baseline, "
      << (d.EffectsPerGroup ? "one row per group, subject SD " + host::roundedText(d.SubjectEffectSD)
                            : std::string("one row per subject"))
      << "):\n";
  std::size_t labelWidth = 4;
  for (int32_t row = 0; row < d.NrOfEffectRows; ++row)
    labelWidth = std::max(labelWidth, rowLabel(d, row).size());
  const std::vector<std::string> columns = columnLabels(d);
  out << "  " << std::string(labelWidth, ' ');
  for (const std::string& column : columns) out << "  " << rightAligned(column, 8);
  out << '\n';
  for (int32_t row = 0; row < d.NrOfEffectRows; ++row) {
    out << "  " << padded(rowLabel(d, row), labelWidth);
    for (int32_t cell = 0; cell < d.NrOfWithinCells; ++cell)
      out << "  " << rightAligned(host::roundedText(d.EffectTable[r][row][cell]),
                                  std::max<std::size_t>(8, columns[cell].size()));
    out << '\n';
  }
}

void printFiles(std::ostream& out, const SimulationDesign& d) {
  if (d.NrOfSubjects <= 0) {
    out << "Files: none (the study has no subjects)\n";
    return;
  }
  const int64_t files = 3 * int64_t{d.NrOfSubjects};
  const VTCDims dims = vtcDims(vtcBoxOf(d));
  const double vtcBytes = static_cast<double>(host::kVTCFileHeaderSize) +
                          4.0 * std::max(dims.DimX, 0) * std::max(dims.DimY, 0) *
                              std::max(dims.DimZ, 0) * std::max(d.NrOfVolumes, 0);
  out << "Files: " << files << " (.prt, .rtc and .vtc for each subject), "
      << outputFileName(d, 0, 0, kProtocolExtension) << " to "
      << outputFileName(d, d.NrOfGroups - 1, d.NrOfSubjectsPerGroup - 1,
                        kVolumeTimeCourseExtension)
      << '\n';
  out << "Size: " << byteSize(vtcBytes * d.NrOfSubjects) << " of VTCs (" << byteSize(vtcBytes)
      << " each), plus the protocols and design matrices\n";
}

}  // namespace

void printDesignSummary(std::ostream& out, const SimulationDesign& d, bool inMillimetres) {
  out << "Experiment: " << d.ExperimentName << '\n';
  printFactors(out, d);
  printCells(out, d);
  printGroups(out, d);
  printTimeline(out, d);
  printGeometry(out, d, inMillimetres);
  printRegions(out, d, inMillimetres);
  for (int r = 0; r < d.NrOfRegions; ++r) printEffectTable(out, d, r);
  printFiles(out, d);
}

namespace {

using host::jsonString;

std::string jsonNumber(double value) { return host::roundedText(value); }

template <typename Item>
void jsonList(std::ostream& out, int64_t count, Item item) {
  out << '[';
  for (int64_t i = 0; i < count; ++i) {
    if (i) out << ", ";
    item(i);
  }
  out << ']';
}

void factorJson(std::ostream& out, const DesignFactor& factor) {
  out << "{\"name\": " << jsonString(factor.FactorName) << ", \"levels\": ";
  jsonList(out, factor.NrOfLevels, [&](int64_t l) {
    const DesignLevel& level = factor.Levels[l];
    out << "{\"name\": " << jsonString(level.LevelName) << ", \"colour\": [" << level.ColorR
        << ", " << level.ColorG << ", " << level.ColorB << "]}";
  });
  out << '}';
}

void regionJson(std::ostream& out, const SimulationDesign& d, int r) {
  const EffectRegion& region = d.Regions[r];
  const VoxelIndex c = regionCentreVoxel(region, vtcBoxOf(d));
  out << "{\"talairach\": [" << region.TalX << ", " << region.TalY << ", " << region.TalZ
      << "], \"radius_voxels\": " << jsonNumber(region.Radius)
      << ", \"radius_mm\": " << jsonNumber(static_cast<double>(region.Radius) * d.Resolution)
      << ", \"centre_sd_voxels\": " << jsonNumber(region.CenterSD) << ", \"vtc_voxel\": ["
      << c.X << ", " << c.Y << ", " << c.Z << "], \"effects\": ";
  jsonList(out, d.NrOfEffectRows, [&](int64_t row) {
    jsonList(out, d.NrOfWithinCells,
             [&](int64_t cell) { out << jsonNumber(d.EffectTable[r][row][cell]); });
  });
  out << '}';
}

}  // namespace

void printDesignJson(std::ostream& out, const SimulationDesign& d,
                     const std::vector<std::string>& warnings) {
  const VTCDims dims = vtcDims(vtcBoxOf(d));
  const TalairachExtent tal = talairachExtentOf(d);
  out << "{\"experiment\": " << jsonString(d.ExperimentName) << ",\n \"within_factors\": ";
  jsonList(out, std::min(d.NrOfWithinFactors, kMaxWithinFactors),
           [&](int64_t f) { factorJson(out, d.WithinFactors[f]); });
  out << ",\n \"between_factors\": ";
  jsonList(out, std::min(d.NrOfBetweenFactors, kMaxBetweenFactors),
           [&](int64_t f) { factorJson(out, d.BetweenFactors[f]); });
  out << ",\n \"conditions\": ";
  jsonList(out, hasCells(d) ? d.NrOfWithinCells : 0,
           [&](int64_t cell) { out << jsonString(conditionName(d, static_cast<int32_t>(cell))); });
  out << ",\n \"rest_periods\": " << (d.HasRestPeriods ? "true" : "false")
      << ", \"groups\": " << d.NrOfGroups << ", \"subjects_per_group\": "
      << d.NrOfSubjectsPerGroup << ", \"subjects\": " << d.NrOfSubjects
      << ",\n \"trials\": " << d.NrOfTrials << ", \"trials_per_condition\": "
      << d.NrOfTrialsPerCondition << ", \"trial_volumes\": " << d.TrialDuration
      << ", \"rest_volumes\": " << d.RestDuration << ", \"pre_volumes\": " << d.NrOfPreVolumes
      << ", \"post_volumes\": " << d.NrOfPostVolumes << ", \"volumes\": " << d.NrOfVolumes
      << ",\n \"box\": {\"x\": [" << d.XStart << ", " << d.XEnd << "], \"y\": [" << d.YStart
      << ", " << d.YEnd << "], \"z\": [" << d.ZStart << ", " << d.ZEnd
      << "], \"resolution\": " << d.Resolution << ", \"dimensions\": [" << dims.DimX << ", "
      << dims.DimY << ", " << dims.DimZ << "], \"talairach_mm\": {\"x\": [" << tal.x[0] << ", "
      << tal.x[1] << "], \"y\": [" << tal.y[0] << ", " << tal.y[1] << "], \"z\": [" << tal.z[0]
      << ", " << tal.z[1] << "]}},\n \"signal\": {\"mean_baseline\": " << d.MeanBaseline
      << ", \"baseline_sd_subjects\": " << jsonNumber(d.BaselineSDAcrossSubjects)
      << ", \"baseline_sd_voxels\": " << jsonNumber(d.BaselineSDAcrossVoxels)
      << ", \"noise_sd_percent\": " << jsonNumber(d.NoiseSDPercent)
      << "},\n \"effects_per_group\": " << (d.EffectsPerGroup ? "true" : "false")
      << ", \"subject_effect_sd\": " << jsonNumber(d.SubjectEffectSD) << ",\n \"regions\": ";
  jsonList(out, d.NrOfRegions, [&](int64_t r) { regionJson(out, d, static_cast<int>(r)); });
  out << ",\n \"files\": " << (d.NrOfSubjects > 0 ? 3 * int64_t{d.NrOfSubjects} : 0)
      << ",\n \"warnings\": ";
  jsonList(out, static_cast<int64_t>(warnings.size()),
           [&](int64_t w) { out << jsonString(warnings[static_cast<std::size_t>(w)]); });
  out << "}\n";
}

}  // namespace cohortix::app
