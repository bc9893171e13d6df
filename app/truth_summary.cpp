#include "app/truth_summary.h"

#include <algorithm>
#include <string>
#include <vector>

#include "host/analysis/nifti_reader.h"
#include "host/export/decimal_text.h"
#include "host/io/disk_interface.h"

namespace cohortix::host {
namespace {

namespace fs = std::filesystem;

bool endsWith(const std::string& name, const char* suffix) {
  const std::string end(suffix);
  return name.size() >= end.size() && name.compare(name.size() - end.size(), end.size(), end) == 0;
}

// Text scanned by position, not by std::regex: its matcher recurses once per
// character it repeats over, so a long line (a large design's effects, or a
// hostile file) would overflow the stack.

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

// The digits right after `label` at `at`, or empty.
std::string digitsAfter(const std::string& text, std::size_t at, const std::string& label) {
  if (text.compare(at, label.size(), label) != 0) return "";
  std::size_t end = at + label.size();
  while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
  return text.substr(at + label.size(), end - at - label.size());
}

const std::string kRegion = "\"Region\": ", kCentre = "\"CentreTalairach\": ",
                  kWritten = "\"VoxelsWritten\": ", kOverwritten = ", \"VoxelsOverwritten\": ";

struct RegionLine {
  std::string region, centre, written, overwritten;
};

// Each region as the host writes it, on one line: its number, Talairach centre
// and the voxels it wrote and overwrote.
std::vector<RegionLine> regionLines(const std::string& json) {
  std::vector<RegionLine> regions;
  std::size_t start = 0;
  while (start < json.size()) {
    std::size_t end = json.find('\n', start);
    if (end == std::string::npos) end = json.size();
    const std::string line = json.substr(start, end - start);
    start = end + 1;
    for (std::size_t at = line.find(kRegion); at != std::string::npos; at = line.find(kRegion, at + 1)) {
      RegionLine r;
      r.region = digitsAfter(line, at, kRegion);
      const std::size_t centre = line.find(kCentre + "[", at);
      const std::size_t written = line.find(kWritten, centre == std::string::npos ? at : centre);
      if (r.region.empty() || centre == std::string::npos || written == std::string::npos) continue;
      const std::size_t close = line.find(']', centre);
      if (close > written) continue;
      r.centre = line.substr(centre + kCentre.size(), close + 1 - centre - kCentre.size());
      r.written = digitsAfter(line, written, kWritten);
      r.overwritten = digitsAfter(line, written + kWritten.size() + r.written.size(), kOverwritten);
      if (r.written.empty() || r.overwritten.empty()) continue;
      regions.push_back(std::move(r));
      at = written;
    }
  }
  return regions;
}

std::size_t count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
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

Result<std::string> summariseTruth(const fs::path& path, DiskInterface& disk) {
  const std::string name = path.string();
  const Result<std::string> read = disk.readFile(path);
  if (!read) return read.status().context("cannot read " + name);
  const std::string& json = read.value();
  if (field(json, "Regions").empty() || field(json, "Baseline").empty())
    return Status::error(name + ": expected a subject's ground truth (\"Baseline\", \"Regions\")");
  std::string text = name + ": ground truth of subject " + field(json, "Subject") + ", group " +
                     field(json, "Group") + ", " + std::to_string(count(json, "\"Region\":")) +
                     " regions, cells " + field(json, "Cells") + "\n";
  text += "  baseline " + field(json, "Baseline") + ", one percent " + field(json, "OnePercent") +
          ", noise SD " + field(json, "NoiseSD") + " (signal units)\n";
  for (const RegionLine& r : regionLines(json))
    text += "  region " + r.region + ": centre " + r.centre + " mm, " + r.written + " voxels written, " +
            r.overwritten + " overwritten\n";
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
