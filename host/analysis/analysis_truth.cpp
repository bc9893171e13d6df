#include "host/analysis/analysis_truth.h"

#include <system_error>

#include "control/control_file_reader.h"

namespace cohortix::host {
namespace {

namespace fs = std::filesystem;

Result<fs::path> onlyControlFileIn(const fs::path& folder) {
  std::vector<fs::path> found;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
    if (it->path().extension() == ".cxd" && fs::is_regular_file(it->path(), error)) found.push_back(it->path());
  if (found.size() == 1) return found.front();
  return Status::error(folder.string() + (found.empty() ? " holds no control file (.cxd)"
                                                        : " holds " + std::to_string(found.size()) +
                                                              " control files"));
}

}  // namespace

Result<std::unique_ptr<SimulationDesign>> readRunDesign(const fs::path& run, const fs::path& given) {
  std::error_code error;
  const bool bids = fs::exists(run / "dataset_description.json", error);
  Result<fs::path> file = !given.empty() ? Result<fs::path>(given) : onlyControlFileIn(bids ? run / "code" : run);
  if (!file) return file.status();
  auto design = std::make_unique<SimulationDesign>();  // far too large for the stack
  std::string message;
  if (!parseControlFile(file.value().c_str(), *design, message))
    return Status::error(file.value().string() + ": " + message);
  return design;
}

std::vector<float> askedRegionLabels(const ActiveVoxels& truth, std::size_t voxels) {
  std::vector<float> labels(voxels, 0.0f);
  for (int32_t r = 0; r < truth.regions(); ++r)
    for (const int64_t v : truth.regionVoxels(r))
      if (static_cast<std::size_t>(v) < voxels) labels[static_cast<std::size_t>(v)] = static_cast<float>(r + 1);
  return labels;
}

std::vector<float> trueEffectMap(const ActiveVoxels& truth, const Effect& effect, const GroupTest& test,
                                 std::size_t voxels) {
  std::vector<float> map(voxels, 0.0f);
  for (int32_t r = 0; r < truth.regions(); ++r) {
    double value = truth.trueEffect(r, effect, test.group);
    if (test.twoSample) value -= truth.trueEffect(r, effect, test.otherGroup);
    for (const int64_t v : truth.regionVoxels(r))
      if (static_cast<std::size_t>(v) < voxels) map[static_cast<std::size_t>(v)] = static_cast<float>(value);
  }
  return map;
}

}  // namespace cohortix::host
