#include "host/noise/time_series_check.h"

#include <fstream>
#include <iterator>
#include <regex>
#include <string>

namespace cohortix::host::noise {
namespace {

namespace fs = std::filesystem;

fs::path sidecarOf(const fs::path& image) {
  std::string name = image.string();
  for (const char* suffix : {".nii.gz", ".nii", ".vtc"})
    if (name.size() > std::char_traits<char>::length(suffix) && name.ends_with(suffix))
      return name.substr(0, name.size() - std::char_traits<char>::length(suffix)) + ".json";
  return name + ".json";
}

}  // namespace

Status checkTimeSeries(const fs::path& file, const NoiseGeometry& geometry) {
  const fs::path sidecar = sidecarOf(file);
  std::ifstream in(sidecar, std::ios::binary);
  if (in) {
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    static const std::regex values(R"re("Values"\s*:\s*"((?:[^"\\]|\\.)*)")re");
    static const std::regex timing(R"re("RepetitionTime"\s*:)re");
    std::smatch match;
    if (std::regex_search(text, match, values) && !std::regex_search(text, timing))
      return Status::error(file.string() + ": expected a time series, found a map: its sidecar " +
                           sidecar.filename().string() + " says it holds " + match[1].str());
  }
  if (geometry.volumes < kMinTimeSeriesVolumes)
    return Status::error(file.string() + ": expected a time series of at least " +
                         std::to_string(kMinTimeSeriesVolumes) + " volumes, found " +
                         std::to_string(geometry.volumes));
  return Status::ok();
}

}  // namespace cohortix::host::noise
