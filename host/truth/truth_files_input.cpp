#include "host/truth/truth_files_input.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <regex>
#include <string>

#include "host/analysis/nifti_reader.h"

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

Result<std::string> fileText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  if (!in && !in.eof()) return Status::error("cannot read " + file.string());
  return text.str();
}

std::vector<float> numbersIn(const std::string& list, const std::string& key) {
  std::vector<float> values;
  const std::regex pattern("\"" + key + "\": (-?[0-9.eE+-]+|inf|-inf|nan)");
  for (std::sregex_iterator it(list.begin(), list.end(), pattern), end; it != end; ++it)
    values.push_back(std::strtof((*it)[1].str().c_str(), nullptr));
  return values;
}

// A region's "Atlas" object as one line of text; empty when it has none.
std::string atlasIn(const std::string& region) {
  std::smatch match;
  static const std::regex atlas("\"Atlas\": \\{\"AAL\": \"([^\"]*)\", \"Brodmann\": \"([^\"]*)\", "
                                "\"HarvardOxford\": \"([^\"]*)\", \"Tissue\": \"([^\"]*)\"");
  if (!std::regex_search(region, match, atlas)) return {};
  std::string labels;
  const auto add = [&](const std::string& prefix, const std::string& label) {
    if (!label.empty()) labels += (labels.empty() ? "" : ", ") + prefix + label;
  };
  add("AAL ", match[1].str());
  add("", match[2].str());
  add("Harvard-Oxford ", match[3].str());
  return (labels.empty() ? std::string("no atlas label") : labels) + "; " + match[4].str();
}

Result<host::SubjectTruth> parseTruth(const std::string& json, const fs::path& file) {
  host::SubjectTruth truth;
  std::smatch match;
  if (!std::regex_search(json, match, std::regex("\n  \"Baseline\": ([^,\\n]+)")))
    return Status::error(file.string() + ": expected \"Baseline\", found none");
  truth.baseline = std::strtof(match[1].str().c_str(), nullptr);
  // One region a line, as the host writes them.
  const std::regex region("\"Region\": \\d+.*\"CentreVoxel\": \\[(-?\\d+), (-?\\d+), (-?\\d+)\\].*"
                          "\"Effects\": (\\[.*\\])\\}");
  for (std::sregex_iterator it(json.begin(), json.end(), region), end; it != end; ++it) {
    host::RegionTruth r;
    r.centre = {std::atoi((*it)[1].str().c_str()), std::atoi((*it)[2].str().c_str()), std::atoi((*it)[3].str().c_str())};
    r.effects = numbersIn((*it)[4].str(), "Received");
    r.atlas = atlasIn(it->str());
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
  Result<std::string> text = fileText(file);
  if (!text) return text.status();
  Result<host::SubjectTruth> truth = parseTruth(text.value(), file);
  if (!truth) return truth.status();
  return std::optional<host::SubjectTruth>(std::move(truth).value());
}

Result<std::optional<LabelMap>> TruthFilesInput::subjectLabelMap(const SubjectFiles& subject) {
  const std::optional<fs::path> file = existingImage(truthPathsOf(subject).regionsStem);
  if (!file) return std::optional<LabelMap>();
  Result<NiftiVolume> image = readNifti(*file);
  if (!image) return image.status().context("cannot read " + file->string());
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
