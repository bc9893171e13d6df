#include "host/truth/truth_files_input.h"

#include <cmath>
#include <string>

#include "host/analysis/nifti_reader.h"
#include "host/io/disk_interface.h"
#include "host/truth/truth_json.h"

namespace cohortix::host::truth {
namespace {

namespace fs = std::filesystem;

std::string withoutEnding(const std::string& name, std::initializer_list<const char*> endings) {
  for (const char* ending : endings) {
    const std::string end(ending);
    if (name.size() >= end.size() && name.compare(name.size() - end.size(), end.size(), end) == 0)
      return name.substr(0, name.size() - end.size());
  }
  return name;
}

std::optional<fs::path> existingImage(const fs::path& stem) {
  std::error_code error;
  for (const char* ending : {".nii.gz", ".nii"}) {
    fs::path file = stem.string() + ending;
    if (fs::exists(file, error)) return file;
  }
  return std::nullopt;
}

// The atlas labels of a region's centre as one line: "AAL Fusiform_R, 37,
// Harvard-Oxford ...; grey matter".
std::string atlasLine(const TruthAtlasPlace& place) {
  std::string labels;
  const auto add = [&](const std::string& prefix, const std::string& label) {
    if (!label.empty()) labels += (labels.empty() ? "" : ", ") + prefix + label;
  };
  add("AAL ", place.aal);
  add("", place.brodmann);
  add("Harvard-Oxford ", place.harvardOxford);
  return (labels.empty() ? std::string("no atlas label") : labels) + "; " + place.tissue;
}

host::SubjectTruth subjectTruthOf(const TruthJson& json) {
  host::SubjectTruth truth;
  truth.baseline = json.baseline;
  for (const TruthJsonRegion& region : json.regions) {
    host::RegionTruth r;
    r.centre = {region.centreVoxel[0], region.centreVoxel[1], region.centreVoxel[2]};
    r.effects = region.received;
    if (region.atlas) r.atlas = atlasLine(*region.atlas);
    truth.regions.push_back(std::move(r));
  }
  return truth;
}

}  // namespace

TruthPaths truthPathsOf(const SubjectFiles& subject) {
  const std::string data = subject.data.filename().string();
  if (subject.data.extension() == ".vtc") {
    const fs::path stem = subject.data.parent_path() / subject.data.stem();
    return {stem.string() + "_truth.json", stem.string() + "_truth_regions"};
  }
  // sub-01/func/sub-01_task-X_bold.nii.gz -> derivatives/cohortix/sub-01/func/...
  const fs::path func = subject.data.parent_path();
  const fs::path root = func.parent_path().parent_path();
  const fs::path derived = root / "derivatives" / "cohortix" / func.parent_path().filename() / "func";
  const std::string stem = withoutEnding(data, {"_bold.nii.gz", "_bold.nii"}) + "_space-Talairach";
  return {derived / (stem + "_desc-truth_summary.json"), derived / (stem + "_desc-regions_dseg")};
}

Result<std::optional<host::SubjectTruth>> TruthFilesInput::subjectTruth(const SubjectFiles& subject) {
  const fs::path file = truthPathsOf(subject).json;
  std::error_code error;
  if (!fs::exists(file, error)) return std::optional<host::SubjectTruth>();
  RealDiskInterface disk;
  Result<TruthJson> truth = readTruthJson(file, disk);
  if (!truth) return truth.status();
  return std::optional<host::SubjectTruth>(subjectTruthOf(truth.value()));
}

Result<std::optional<LabelMap>> TruthFilesInput::subjectLabelMap(const SubjectFiles& subject) {
  const std::optional<fs::path> file = existingImage(truthPathsOf(subject).regionsStem);
  if (!file) return std::optional<LabelMap>();
  Result<NiftiVolume> image = readNifti(*file);
  if (!image) return image.status();
  const cohortix::VTCDims& dims = image.value().dims;
  LabelMap labels(host::VTCDims{dims.DimX, dims.DimY, dims.DimZ});
  VoxelIndex v;
  const std::vector<float>& values = image.value().data;
  std::size_t i = 0;
  for (v.Z = 0; v.Z < dims.DimZ; ++v.Z)
    for (v.Y = 0; v.Y < dims.DimY; ++v.Y)
      for (v.X = 0; v.X < dims.DimX; ++v.X, ++i)
        if (i < values.size()) labels.setLabel(v, static_cast<int>(std::lround(values[i])));
  return std::optional<LabelMap>(std::move(labels));
}

}  // namespace cohortix::host::truth
