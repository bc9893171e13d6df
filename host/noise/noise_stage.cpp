#include "host/noise/noise_stage.h"

#include <stdexcept>
#include <string>
#include <utility>

#include "control/vtc_geometry.h"

namespace cohortix::host::noise {

NoiseGeometry geometryOfStudy(const SimulationDesign& design, double repetitionTime) {
  const cohortix::VTCBox box = vtcBoxOf(design);
  const cohortix::VTCDims dims = vtcDims(box);
  NoiseGeometry geometry;
  geometry.dimX = dims.DimX;
  geometry.dimY = dims.DimY;
  geometry.dimZ = dims.DimZ;
  geometry.volumes = design.NrOfVolumes;
  const double edge = box.Resolution;
  geometry.voxelMm = {edge, edge, edge};
  geometry.repetitionTime = repetitionTime;
  return geometry;
}

NoiseStage::NoiseStage(NoiseModel model, PluginNoise pluginNoise, uint64_t seed, uint32_t replicate,
                       int threads, std::ostream& notes)
    : model_(std::move(model)),
      pluginNoise_(pluginNoise),
      notes_(notes),
      seed_(seed),
      replicate_(replicate),
      threads_(threads < 1 ? 1 : threads) {}

bool NoiseStage::removePluginNoise(const SavedSubject& subject, std::span<float> data) {
  const SubjectComponents* components = subject.components.get();
  if (components == nullptr) {
    if (!addedNoted_)
      notes_ << "cohortix: the plug-in does not report what it draws: the host's noise is added to the "
                "plug-in's own noise instead of replacing it\n";
    addedNoted_ = true;
    return false;
  }
  if (components->voxelBaseline.size() != static_cast<std::size_t>(model_.geometry().voxels()) ||
      components->finalRegion.size() != components->voxelBaseline.size())
    throw std::runtime_error("what the plug-in reported of it does not cover its VTC's voxels");
  writeNoiseFree(*components, subject.designMatrix, data, static_cast<std::size_t>(subject.nrOfVolumes));
  return true;
}

void NoiseStage::prepare(const SavedSubject& subject, std::span<float> data) {
  const NoiseGeometry& g = model_.geometry();
  const bool same = subject.dims.x == g.dimX && subject.dims.y == g.dimY && subject.dims.z == g.dimZ &&
                    subject.nrOfVolumes == g.volumes &&
                    data.size() == static_cast<std::size_t>(g.voxels()) * static_cast<std::size_t>(g.volumes);
  if (!same)
    throw std::runtime_error("its VTC is not of the study's geometry, for which the host noise was prepared");
  const NoiseKey key{seed_, replicate_, static_cast<uint32_t>(subject.subjectNumber)};
  if (pluginNoise_ == PluginNoise::Replace && baselineOf_ && subject.components != nullptr) {
    const std::vector<float> baseline = baselineOf_(subject);
    model_.apply(data.data(), baseline.data(), key, threads_);
    return;
  }
  if (pluginNoise_ == PluginNoise::Replace && removePluginNoise(subject, data)) {
    model_.apply(data.data(), subject.components->voxelBaseline.data(), key, threads_);
    return;
  }
  // Percent components follow each voxel's temporal mean.
  model_.apply(data.data(), nullptr, key, threads_);
}

}  // namespace cohortix::host::noise
