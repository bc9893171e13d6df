#include "app/truth_summary.h"

#include <algorithm>
#include <regex>

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

// The value of a top-level "key" (indented by two, as the host writes them) in
// one of our JSON files: a string, a list, or up to the field's end.
std::string field(const std::string& json, const std::string& key) {
  const std::regex pattern("\n  \"" + key + "\"\\s*:\\s*(\"[^\"]*\"|\\[[^\\]]*\\]|[^,\\n}]+)");
  std::smatch match;
  return std::regex_search(json, match, pattern) ? match[1].str() : "";
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
  const std::regex region(
      "\"Region\": (\\d+).*?\"CentreTalairach\": (\\[[^\\]]*\\]).*?\"VoxelsWritten\": (\\d+), "
      "\"VoxelsOverwritten\": (\\d+)");
  for (std::sregex_iterator it(json.begin(), json.end(), region), end; it != end; ++it)
    text += "  region " + (*it)[1].str() + ": centre " + (*it)[2].str() + " mm, " +
            (*it)[3].str() + " voxels written, " + (*it)[4].str() + " overwritten\n";
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
