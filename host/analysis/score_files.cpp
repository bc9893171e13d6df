#include "host/analysis/score_files.h"

#include <algorithm>
#include <regex>

#include "host/analysis/analysis_text.h"
#include "host/analysis/nifti_reader.h"
#include "host/io/disk_interface.h"

namespace cohortix::host {
namespace {

namespace fs = std::filesystem;

fs::path sidecarOf(const fs::path& image) {
  std::string name = image.string();
  for (const char* suffix : {".nii.gz", ".nii"})
    if (name.ends_with(suffix)) return name.substr(0, name.size() - std::string(suffix).size()) + ".json";
  return name + ".json";
}

// The volume names a truth's sidecar lists under "Volumes".
Result<std::vector<std::string>> volumeNames(const fs::path& truth, DiskInterface& disk) {
  const fs::path sidecar = sidecarOf(truth);
  const Result<std::string> read = disk.readFile(sidecar);
  if (!read)
    return read.status().context("cannot read " + sidecar.string() +
                                 ", which names the truth's volumes");
  const std::string& text = read.value();
  static const std::regex list(R"re("Volumes"\s*:\s*\[([^\]]*)\])re");
  static const std::regex item(R"re("((?:[^"\\]|\\.)*)")re");
  std::smatch match;
  if (!std::regex_search(text, match, list))
    return Status::error(sidecar.string() + ": expected a \"Volumes\" list of names");
  std::vector<std::string> names;
  const std::string inside = match[1];
  for (auto it = std::sregex_iterator(inside.begin(), inside.end(), item); it != std::sregex_iterator(); ++it)
    names.push_back((*it)[1]);
  return names;
}

Result<int32_t> truthVolume(const ScoreRequest& request, const NiftiVolume& truth, DiskInterface& disk) {
  if (request.contrast) {
    Result<std::vector<std::string>> names = volumeNames(request.truth, disk);
    if (!names) return names.status();
    const auto found = std::find(names.value().begin(), names.value().end(), *request.contrast);
    if (found == names.value().end())
      return Status::error(request.truth.string() + " has no volume named \"" + *request.contrast + "\"");
    return static_cast<int32_t>(found - names.value().begin());
  }
  if (request.cell) return *request.cell - 1;
  if (truth.volumes > 1)
    return Status::error(request.truth.string() + " holds " + std::to_string(truth.volumes) +
                         " volumes; choose one with --cell or --contrast");
  return 0;
}

Result<std::vector<float>> pick(const NiftiVolume& image, int32_t volume, const fs::path& file) {
  if (image.volumes == 1) return volumeOf(image, 0);
  if (volume < 0 || volume >= image.volumes)
    return Status::error(file.string() + " holds " + std::to_string(image.volumes) +
                         " volumes, not a volume " + std::to_string(volume + 1));
  return volumeOf(image, volume);
}

std::string thresholdText(const ScoreOptions& options) {
  return options.threshold ? tableNumber(*options.threshold) : "n/a";
}

}  // namespace

Result<MapScore> scoreFiles(const ScoreRequest& request, DiskInterface& disk) {
  Result<NiftiVolume> map = readNifti(request.map);
  if (!map) return map.status();
  Result<NiftiVolume> truth = readNifti(request.truth);
  if (!truth) return truth.status();
  if (!sameGrid(map.value(), truth.value()))
    return Status::error(request.map.string() + " and " + request.truth.string() +
                         " lie on different grids (dimensions or voxel-to-space transforms differ)");
  Result<int32_t> volume = truthVolume(request, truth.value(), disk);
  if (!volume) return volume.status();
  if (map.value().volumes > 1 && !request.cell)
    return Status::error(request.map.string() + " holds " + std::to_string(map.value().volumes) +
                         " volumes; choose one with --cell");
  Result<std::vector<float>> truthValues = pick(truth.value(), volume.value(), request.truth);
  if (!truthValues) return truthValues.status();
  Result<std::vector<float>> mapValues = pick(map.value(), request.cell ? *request.cell - 1 : 0, request.map);
  if (!mapValues) return mapValues.status();
  return scoreMap(mapValues.value(), truthValues.value(), request.options);
}

std::string scoreTable(const MapScore& score, const ScoreOptions& options) {
  std::string text = "measure\tvalue\n";
  const auto row = [&text](const std::string& name, const std::string& value) {
    text += name + '\t' + value + '\n';
  };
  row("threshold", thresholdText(options));
  row("tail", options.tail == Tail::Two ? "two" : "upper");
  row("voxels", std::to_string(score.voxels));
  row("true_positives", std::to_string(score.truePositives));
  row("false_positives", std::to_string(score.falsePositives));
  row("true_negatives", std::to_string(score.trueNegatives));
  row("false_negatives", std::to_string(score.falseNegatives));
  row("sensitivity", tableNumber(score.sensitivity));
  row("specificity", tableNumber(score.specificity));
  row("false_discovery_proportion", tableNumber(score.falseDiscoveryProportion));
  row("dice", tableNumber(score.dice));
  row("auc", tableNumber(score.areaUnderCurve));
  for (const RegionDetection& region : score.regions) {
    const std::string prefix = "region_" + std::to_string(region.label - 1) + "_";
    row(prefix + "voxels", std::to_string(region.voxels));
    row(prefix + "detected_voxels", std::to_string(region.detectedVoxels));
    row(prefix + "detected", region.detected() ? "yes" : "no");
  }
  return text;
}

std::string scoreJson(const MapScore& score, const ScoreOptions& options) {
  std::string regions = "[";
  for (std::size_t r = 0; r < score.regions.size(); ++r) {
    const RegionDetection& region = score.regions[r];
    regions += std::string(r ? ", " : "") + "{\"region\": " + std::to_string(region.label - 1) +
               ", \"label\": " + std::to_string(region.label) +
               ", \"voxels\": " + std::to_string(region.voxels) +
               ", \"detected_voxels\": " + std::to_string(region.detectedVoxels) +
               ", \"detected\": " + (region.detected() ? "true" : "false") + "}";
  }
  regions += "]";
  std::string roc = "[";
  for (std::size_t i = 0; i < score.roc.size(); ++i)
    roc += std::string(i ? ", " : "") + "[" + jsonNumber(score.roc[i].threshold) + ", " +
           jsonNumber(score.roc[i].falsePositiveRate) + ", " +
           jsonNumber(score.roc[i].truePositiveRate) + "]";
  roc += "]";
  return "{\"threshold\": " + (options.threshold ? jsonNumber(*options.threshold) : "null") +
         ", \"tail\": \"" + (options.tail == Tail::Two ? "two" : "upper") + "\"" +
         ", \"voxels\": " + std::to_string(score.voxels) +
         ", \"true_positives\": " + std::to_string(score.truePositives) +
         ", \"false_positives\": " + std::to_string(score.falsePositives) +
         ", \"true_negatives\": " + std::to_string(score.trueNegatives) +
         ", \"false_negatives\": " + std::to_string(score.falseNegatives) +
         ", \"sensitivity\": " + jsonNumber(score.sensitivity) +
         ", \"specificity\": " + jsonNumber(score.specificity) +
         ", \"false_discovery_proportion\": " + jsonNumber(score.falseDiscoveryProportion) +
         ", \"dice\": " + jsonNumber(score.dice) + ", \"auc\": " + jsonNumber(score.areaUnderCurve) +
         ", \"regions\": " + regions +
         ", \"roc\": {\"columns\": [\"threshold\", \"false_positive_rate\", \"true_positive_rate\"], "
         "\"points\": " + roc + "}}\n";
}

std::string rocTable(const MapScore& score) {
  std::string text = "threshold\tfalse_positive_rate\ttrue_positive_rate\n";
  for (const RocPoint& point : score.roc)
    text += tableNumber(point.threshold) + '\t' + tableNumber(point.falsePositiveRate) + '\t' +
            tableNumber(point.truePositiveRate) + '\n';
  return text;
}

}  // namespace cohortix::host
