#include "app/truth_summary.h"

#include <algorithm>
#include <string>
#include <vector>

#include "host/analysis/nifti_reader.h"
#include "host/export/decimal_text.h"
#include "host/export/json_text.h"
#include "host/io/disk_interface.h"
#include "host/truth/truth_json.h"

namespace cohortix::host {
namespace {

namespace fs = std::filesystem;

bool endsWith(const std::string& name, const char* suffix) {
  const std::string end(suffix);
  return name.size() >= end.size() && name.compare(name.size() - end.size(), end.size(), end) == 0;
}

// An image's sidecar is scanned by position for the two fields shown, not by
// std::regex: its matcher recurses once per character it repeats over, so a long
// line would overflow the stack. (A subject's truth goes through the checked JSON
// reader: host/truth/truth_json.h.)

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

// The value of a top-level "key" (indented by two, as the host writes them) in
// one of our JSON files: a string, a list, or up to the field's end.
std::string field(const std::string& json, const std::string& key) {
  const std::string label = "\n  \"" + key + "\"";
  for (std::size_t at = json.find(label); at != std::string::npos; at = json.find(label, at + 1)) {
    std::size_t i = at + label.size();
    while (i < json.size() && isSpace(json[i])) ++i;
    if (i >= json.size() || json[i] != ':') continue;
    ++i;
    while (i < json.size() && isSpace(json[i])) ++i;
    const char open = i < json.size() ? json[i] : '\0';
    if (open == '"' || open == '[') {
      const std::size_t close = json.find(open == '"' ? '"' : ']', i + 1);
      if (close != std::string::npos) return json.substr(i, close + 1 - i);
    }
    const std::size_t end = json.find_first_of(",\n}", i);
    if (end != i) return json.substr(i, end == std::string::npos ? std::string::npos : end - i);
  }
  return "";
}

fs::path sidecarOf(const std::string& name) {
  for (const char* suffix : {".nii.gz", ".nii"})
    if (endsWith(name, suffix)) return name.substr(0, name.size() - std::string(suffix).size()) + ".json";
  return name + ".json";
}

Result<std::string> summariseImage(const fs::path& path, DiskInterface& disk) {
  const std::string name = path.string();
  Result<NiftiVolume> read = readNifti(path);
  if (!read) return read.status();
  const NiftiVolume& image = read.value();
  std::string text = name + ": NIfTI image, " + std::to_string(image.dims.DimX) + " x " +
                     std::to_string(image.dims.DimY) + " x " + std::to_string(image.dims.DimZ) +
                     " voxels, " + std::to_string(image.volumes) +
                     (image.volumes == 1 ? " volume\n" : " volumes\n");
  if (!image.data.empty()) {
    const auto [low, high] = std::minmax_element(image.data.begin(), image.data.end());
    const auto nonzero = std::count_if(image.data.begin(), image.data.end(),
                                       [](float v) { return v != 0.0f; });
    text += "  values from " + roundedText(*low) + " to " + roundedText(*high) + ", " +
            std::to_string(nonzero) + " not 0\n";
  }
  const Result<std::string> sidecar = disk.readFile(sidecarOf(name));
  if (sidecar) {
    if (const std::string units = field(sidecar.value(), "Units"); !units.empty())
      text += "  units " + units + "\n";
    if (const std::string volumes = field(sidecar.value(), "Volumes"); !volumes.empty())
      text += "  volumes " + volumes + "\n";
  }
  return text;
}

std::string namesText(const std::vector<std::string>& names) {
  std::string text = "[";
  for (std::size_t i = 0; i < names.size(); ++i) text += (i == 0 ? "" : ", ") + jsonString(names[i]);
  return text + "]";
}

Result<std::string> summariseTruth(const fs::path& path, DiskInterface& disk) {
  const Result<truth::TruthJson> read = truth::readTruthJson(path, disk);
  if (!read) return read.status();
  const truth::TruthJson& truth = read.value();
  std::string text = path.string() + ": ground truth of subject " + std::to_string(truth.subject) +
                     ", group " + std::to_string(truth.group) + ", " +
                     std::to_string(truth.regions.size()) + " regions, cells " +
                     namesText(truth.cells) + "\n";
  text += "  baseline " + floatText(truth.baseline) + ", one percent " + floatText(truth.onePercent) +
          ", noise SD " + floatText(truth.noiseSD) + " (signal units)\n";
  for (const truth::TruthJsonRegion& r : truth.regions) {
    const auto& mm = r.centreTalairach;
    text += "  region " + std::to_string(r.region) + ": centre [" + roundedText(mm[0]) + ", " +
            roundedText(mm[1]) + ", " + roundedText(mm[2]) + "] mm, " +
            std::to_string(r.voxelsWritten) + " voxels written, " +
            std::to_string(r.voxelsOverwritten) + " overwritten\n";
  }
  return text;
}

}  // namespace

std::optional<Result<std::string>> summariseImageOrTruth(const fs::path& path, DiskInterface& disk) {
  std::string name = path.filename().string();
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (endsWith(name, ".nii") || endsWith(name, ".nii.gz")) return summariseImage(path, disk);
  if (endsWith(name, ".json")) return summariseTruth(path, disk);
  return std::nullopt;
}

}  // namespace cohortix::host
