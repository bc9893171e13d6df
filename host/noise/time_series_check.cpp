#include "host/noise/time_series_check.h"

#include <string>
#include <system_error>

#include "host/io/disk_interface.h"
#include "host/io/json_input.h"

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
  std::error_code error;
  if (fs::exists(sidecar, error)) {
    RealDiskInterface disk;
    const Result<JsonValue> json = readJsonFile(sidecar, disk, sidecarJsonLimits());
    if (!json) return json.status();
    const JsonValue& top = json.value();
    if (top.is_object() && top.contains("Values") && top["Values"].is_string() &&
        !top.contains("RepetitionTime"))
      return Status::error(file.string() + ": expected a time series, found a map: its sidecar " +
                           sidecar.filename().string() + " says it holds " +
                           top["Values"].get<std::string>());
  }
  if (geometry.volumes < kMinTimeSeriesVolumes)
    return Status::error(file.string() + ": expected a time series of at least " +
                         std::to_string(kMinTimeSeriesVolumes) + " volumes, found " +
                         std::to_string(geometry.volumes));
  return Status::ok();
}

}  // namespace cohortix::host::noise
