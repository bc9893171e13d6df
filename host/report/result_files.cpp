#include "host/report/result_files.h"

#include <cmath>

#include "host/analysis/nifti_reader.h"
#include "host/formats/tsv_table.h"
#include "host/io/disk_interface.h"

namespace cohortix::host {
namespace {

namespace fs = std::filesystem;

bool isFile(const fs::path& path) {
  std::error_code error;
  return fs::is_regular_file(path, error);
}

Result<TsvTable> readTable(DiskInterface& disk, const fs::path& file, const std::vector<std::string>& required) {
  Result<std::string> text = disk.readFile(file);
  if (!text) return text.status().context("cannot read " + file.string());
  return TsvTable::parse(text.value(), file.string(), required);
}

Result<std::vector<float>> mapVoxels(const fs::path& file, int64_t voxels) {
  Result<NiftiVolume> image = readNifti(file);
  if (!image) return image.status();
  if (image->volumes != 1 || image->voxels() != voxels)
    return Status::error(file.string() + " does not belong to the study: it has " +
                         std::to_string(image->voxels()) + " voxels in " + std::to_string(image->volumes) +
                         " volumes, the study's box " + std::to_string(voxels) + " voxels in one");
  return std::move(image->data);
}

const std::vector<std::string> kMapColumns = {"map", "test", "groups", "effect", "subjects", "df", "tail",
                                              "correction", "alpha", "p_threshold", "t_threshold", "tested_voxels",
                                              "significant_voxels", "max_abs_t"};
const std::vector<std::string> kClusterColumns = {"cluster", "side",   "voxels", "p_fwe", "significant",
                                                  "peak_t",  "peak_x", "peak_y", "peak_z"};
const std::vector<std::string> kPowerColumns = {"subjects", "scope", "effect", "region", "measure", "true_effect",
                                                "estimate", "ci_low", "ci_high", "analytic", "replicates"};

}  // namespace

fs::path defaultAnalysisFolder(const fs::path& run) {
  if (isFile(run / "dataset_description.json")) return run / "derivatives" / "analysis";
  return run / "analysis";
}

ResultFiles::ResultFiles(const fs::path& run, DiskInterface& disk, fs::path analysisFolder, fs::path powerFile)
    : disk_(disk) {
  if (!analysisFolder.empty()) {
    analysis_ = std::move(analysisFolder);
  } else if (isFile(defaultAnalysisFolder(run) / "maps.tsv")) {
    analysis_ = defaultAnalysisFolder(run);
  }
  if (!powerFile.empty()) {
    power_ = std::move(powerFile);
  } else {
    for (const fs::path& file : {run / "power.tsv", run / "power" / "power.tsv"}) {
      if (!isFile(file)) continue;
      power_ = file;
      break;
    }
  }
}

Result<std::optional<std::vector<GroupMapEntry>>> ResultFiles::groupMaps() {
  if (!analysis_) return std::optional<std::vector<GroupMapEntry>>();
  Result<TsvTable> table = readTable(disk_, *analysis_ / "maps.tsv", kMapColumns);
  if (!table) return table.status();
  std::vector<GroupMapEntry> maps;
  for (std::size_t r = 0; r < table->rows(); ++r) {
    GroupMapEntry entry;
    const auto text = [&](const char* column) { return table->text(r, column); };
    entry.map = text("map");
    if (entry.map.empty() || entry.map.find('/') != std::string::npos || entry.map.front() == '.')
      return Status::error((*analysis_ / "maps.tsv").string() + ": expected a map's file stem, found \"" +
                           entry.map + "\"");
    entry.test = text("test"), entry.groups = text("groups"), entry.effect = text("effect");
    entry.subjects = text("subjects"), entry.df = text("df"), entry.tail = text("tail");
    entry.correction = text("correction"), entry.alpha = text("alpha");
    entry.pThreshold = text("p_threshold"), entry.tThreshold = text("t_threshold");
    entry.maxAbsT = text("max_abs_t");
    Result<int64_t> tested = table->integer(r, "tested_voxels");
    if (!tested) return tested.status();
    Result<int64_t> significant = table->integer(r, "significant_voxels");
    if (!significant) return significant.status();
    entry.testedVoxels = tested.value(), entry.significantVoxels = significant.value();
    maps.push_back(std::move(entry));
  }
  return std::optional<std::vector<GroupMapEntry>>(std::move(maps));
}

Result<GroupMapImages> ResultFiles::groupMapImages(const GroupMapEntry& map, int64_t voxels) {
  const fs::path stem = analysis_.value_or(fs::path()) / "group" / map.map;
  Result<std::vector<float>> t = mapVoxels(stem.string() + "_t.nii.gz", voxels);
  if (!t) return t.status();
  Result<std::vector<float>> thresholded = mapVoxels(stem.string() + "_thresholded.nii.gz", voxels);
  if (!thresholded) return thresholded.status();
  GroupMapImages images{std::move(t).value(), std::move(thresholded).value(), {}};
  if (map.correction != "cluster") return images;
  Result<TsvTable> table = readTable(disk_, stem.string() + "_clusters.tsv", kClusterColumns);
  if (!table) return table.status();
  for (std::size_t r = 0; r < table->rows(); ++r) {
    const auto text = [&](const char* column) { return table->text(r, column); };
    images.clusters.push_back({text("side"), text("voxels"), text("p_fwe"), text("significant"), text("peak_t"),
                               text("peak_x"), text("peak_y"), text("peak_z")});
  }
  return images;
}

Result<std::optional<std::vector<PowerEntry>>> ResultFiles::powerTable() {
  if (!power_) return std::optional<std::vector<PowerEntry>>();
  Result<TsvTable> table = readTable(disk_, *power_, kPowerColumns);
  if (!table) return table.status();
  std::vector<PowerEntry> rows;
  for (std::size_t r = 0; r < table->rows(); ++r) {
    PowerEntry entry;
    Result<int64_t> subjects = table->integer(r, "subjects");
    if (!subjects) return subjects.status();
    Result<int64_t> replicates = table->integer(r, "replicates");
    if (!replicates) return replicates.status();
    entry.subjects = static_cast<int32_t>(std::min<int64_t>(subjects.value(), 1'000'000'000));
    entry.replicates = replicates.value();
    entry.scope = table->text(r, "scope"), entry.effect = table->text(r, "effect");
    entry.region = table->text(r, "region"), entry.measure = table->text(r, "measure");
    double* numbers[] = {&entry.trueEffect, &entry.estimate, &entry.low, &entry.high, &entry.analytic};
    const char* columns[] = {"true_effect", "estimate", "ci_low", "ci_high", "analytic"};
    for (std::size_t c = 0; c < 5; ++c) {
      Result<double> value = table->number(r, columns[c], true);
      if (!value) return value.status();
      *numbers[c] = value.value();
    }
    rows.push_back(std::move(entry));
  }
  return std::optional<std::vector<PowerEntry>>(std::move(rows));
}

}  // namespace cohortix::host
