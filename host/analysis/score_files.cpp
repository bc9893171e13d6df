#include "host/analysis/score_files.h"

#include <algorithm>
#include <optional>

#include "host/analysis/analysis_text.h"
#include "host/analysis/nifti_reader.h"
#include "host/export/json_text.h"
#include "host/io/disk_interface.h"
#include "host/io/json_input.h"

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
  const Result<JsonValue> read = readJsonFile(sidecar, disk, sidecarJsonLimits());
  if (!read) return read.status().context("the truth's volumes are named in its sidecar");
  const JsonValue& top = read.value();
  const auto* list = top.is_object() && top.contains("Volumes") ? &top["Volumes"] : nullptr;
  if (list == nullptr || !list->is_array() ||
      !std::all_of(list->begin(), list->end(), [](const JsonValue& name) { return name.is_string(); }))
    return Status::error(sidecar.string() + ": expected a \"Volumes\" list of names");
  std::vector<std::string> names;
  for (const JsonValue& name : *list) names.push_back(name.get<std::string>());
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

// A map's sidecar, when it has one: an empty object otherwise.
Result<JsonValue> mapSidecar(const fs::path& map, DiskInterface& disk) {
  const fs::path sidecar = sidecarOf(map);
  std::error_code error;
  if (!fs::exists(sidecar, error)) return JsonValue::object();
  Result<JsonValue> read = readJsonFile(sidecar, disk, sidecarJsonLimits());
  if (!read) return read.status().context("the map's sidecar");
  if (!read->is_object()) return Status::error(sidecar.string() + ": expected a JSON object, the map's sidecar");
  return read;
}

// The value of key in the object, when it is of the kind asked for.
const JsonValue* member(const JsonValue& object, const char* key) {
  return object.is_object() && object.contains(key) ? &object[key] : nullptr;
}

bool holds(const JsonValue& object, const char* key, const JsonValue& value) {
  const JsonValue* found = member(object, key);
  return found != nullptr && *found == value;
}

// How the map's voxels are called detected: the request's threshold, the sidecar's
// word that the map is thresholded, the sidecar's threshold, or nothing.
Result<FileScore> detectionOf(const ScoreRequest& request, DiskInterface& disk) {
  FileScore result;
  result.options.tail = request.tail.value_or(Tail::Two);
  if (request.threshold) {
    if (!(*request.threshold > 0.0))
      return Status::error("--threshold " + tableNumber(*request.threshold) +
                           ": a threshold is the least |value| (two tails) or value (upper tail) a "
                           "detected voxel reaches, and must be above 0");
    result.options.threshold = request.threshold;
    result.thresholdFrom = "--threshold";
    return result;
  }
  Result<JsonValue> sidecar = mapSidecar(request.map, disk);
  if (!sidecar) return sidecar.status();
  const JsonValue& top = sidecar.value();
  const JsonValue* threshold = member(top, "Threshold");
  const JsonValue* limit = threshold != nullptr ? member(*threshold, "T") : nullptr;
  // A cluster-level map's T forms the clusters: a voxel above it is not significant.
  const bool clusters = holds(top, "Correction", "cluster") ||
                        (threshold != nullptr && holds(*threshold, "Correction", "cluster"));
  if (!request.tail && holds(top, "Tail", "upper")) result.options.tail = Tail::Upper;
  if (holds(top, "Thresholded", true)) {
    result.rule = DetectionRule::NonZero;
    result.thresholdFrom = sidecarOf(request.map).filename().string();
  } else if (!clusters && limit != nullptr && limit->is_number() && limit->get<double>() > 0.0) {
    result.options.threshold = limit->get<double>();
    result.thresholdFrom = sidecarOf(request.map).filename().string();
  } else {
    result.rule = DetectionRule::None;
  }
  return result;
}

// The truth a map's sidecar names ("Truth"), beside the map.
Result<fs::path> truthOfMap(const fs::path& map, DiskInterface& disk) {
  Result<JsonValue> sidecar = mapSidecar(map, disk);
  if (!sidecar) return sidecar.status();
  const JsonValue* named = member(sidecar.value(), "Truth");
  if (named == nullptr || !named->is_string())
    return Status::error(map.string() + (!fs::exists(sidecarOf(map)) ? " has no sidecar" : "'s sidecar names no truth") +
                         " (cohortix analyze names one given the run's control file): give --truth");
  return map.parent_path() / fs::path(named->get<std::string>());
}

std::string thresholdText(const FileScore& score) {
  if (score.rule == DetectionRule::NonZero) return "nonzero";
  return score.options.threshold ? tableNumber(*score.options.threshold) : "none";
}

}  // namespace

std::string uncountedNote(const ScoreRequest& request, const FileScore& score) {
  if (score.counted()) return "";
  return request.map.string() +
         " has no threshold (none given, none in its sidecar): scored by the ROC curve and its "
         "area only; --threshold T counts the voxels at T";
}

Result<FileScore> scoreFiles(const ScoreRequest& given, DiskInterface& disk) {
  ScoreRequest request = given;
  if (request.truth.empty()) {
    Result<fs::path> truth = truthOfMap(request.map, disk);
    if (!truth) return truth.status();
    request.truth = truth.value();
  }
  Result<FileScore> detection = detectionOf(request, disk);
  if (!detection) return detection.status();
  detection.value().truth = request.truth;
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
  Result<MapScore> score = scoreMap(mapValues.value(), truthValues.value(), detection.value().options);
  if (!score) return score.status();
  detection.value().score = std::move(score).value();
  return detection;
}

std::string scoreTable(const FileScore& scored) {
  const MapScore& score = scored.score;
  const bool counted = scored.counted();
  std::string text = "measure\tvalue\n";
  const auto row = [&text](const std::string& name, const std::string& value) {
    text += name + '\t' + value + '\n';
  };
  const auto count = [counted](int64_t value) { return counted ? std::to_string(value) : "n/a"; };
  const auto rate = [counted](double value) { return counted ? tableNumber(value) : "n/a"; };
  row("threshold", thresholdText(scored));
  row("tail", scored.options.tail == Tail::Two ? "two" : "upper");
  row("voxels", std::to_string(score.voxels));
  row("true_positives", count(score.truePositives));
  row("false_positives", count(score.falsePositives));
  row("true_negatives", count(score.trueNegatives));
  row("false_negatives", count(score.falseNegatives));
  row("sensitivity", rate(score.sensitivity));
  row("specificity", rate(score.specificity));
  row("false_discovery_proportion", rate(score.falseDiscoveryProportion));
  row("dice", rate(score.dice));
  row("auc", tableNumber(score.areaUnderCurve));
  for (const RegionDetection& region : score.regions) {
    const std::string prefix = "region_" + std::to_string(region.label) + "_";
    row(prefix + "voxels", std::to_string(region.voxels));
    row(prefix + "detected_voxels", count(region.detectedVoxels));
    row(prefix + "detected", counted ? (region.detected() ? "yes" : "no") : "n/a");
  }
  return text;
}

std::string scoreJson(const FileScore& scored) {
  const MapScore& score = scored.score;
  const ScoreOptions& options = scored.options;
  const bool counted = scored.counted();
  const auto count = [counted](int64_t value) { return counted ? std::to_string(value) : "null"; };
  const auto rate = [counted](double value) { return counted ? jsonNumber(value) : "null"; };
  std::string regions = "[";
  for (std::size_t r = 0; r < score.regions.size(); ++r) {
    const RegionDetection& region = score.regions[r];
    regions += std::string(r ? ", " : "") + "{\"region\": " + std::to_string(region.label) +
               ", \"label\": " + std::to_string(region.label) +
               ", \"voxels\": " + std::to_string(region.voxels) +
               ", \"detected_voxels\": " + count(region.detectedVoxels) +
               ", \"detected\": " + (counted ? (region.detected() ? "true" : "false") : "null") + "}";
  }
  regions += "]";
  std::string roc = "[";
  for (std::size_t i = 0; i < score.roc.size(); ++i)
    roc += std::string(i ? ", " : "") + "[" + jsonNumber(score.roc[i].threshold) + ", " +
           jsonNumber(score.roc[i].falsePositiveRate) + ", " +
           jsonNumber(score.roc[i].truePositiveRate) + "]";
  roc += "]";
  const char* rule = scored.rule == DetectionRule::Threshold ? "threshold"
                     : scored.rule == DetectionRule::NonZero ? "nonzero"
                                                             : "none";
  return "{\"threshold\": " + (options.threshold ? jsonNumber(*options.threshold) : "null") +
         ", \"detection\": \"" + rule + "\", \"threshold_from\": " +
         (scored.thresholdFrom.empty() ? "null" : jsonString(scored.thresholdFrom)) +
         ", \"tail\": \"" + (options.tail == Tail::Two ? "two" : "upper") + "\"" +
         ", \"voxels\": " + std::to_string(score.voxels) +
         ", \"true_positives\": " + count(score.truePositives) +
         ", \"false_positives\": " + count(score.falsePositives) +
         ", \"true_negatives\": " + count(score.trueNegatives) +
         ", \"false_negatives\": " + count(score.falseNegatives) +
         ", \"sensitivity\": " + rate(score.sensitivity) +
         ", \"specificity\": " + rate(score.specificity) +
         ", \"false_discovery_proportion\": " + rate(score.falseDiscoveryProportion) +
         ", \"dice\": " + rate(score.dice) + ", \"auc\": " + jsonNumber(score.areaUnderCurve) +
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
