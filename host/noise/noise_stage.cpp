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

NoiseStage::NoiseStage(NoiseModel model, uint64_t seed, uint32_t replicate, int threads)
    : model_(std::move(model)), seed_(seed), replicate_(replicate), threads_(threads < 1 ? 1 : threads) {}

void NoiseStage::prepare(const SavedSubject& subject, std::span<float> data) {
  const NoiseGeometry& g = model_.geometry();
  const bool same = subject.dims.x == g.dimX && subject.dims.y == g.dimY && subject.dims.z == g.dimZ &&
                    subject.nrOfVolumes == g.volumes &&
                    data.size() == static_cast<std::size_t>(g.voxels()) * static_cast<std::size_t>(g.volumes);
  if (!same)
    throw std::runtime_error("its VTC is not of the study's geometry, for which the host noise was prepared");
  // Percent components follow each voxel's temporal mean: the host does not know
  // the plug-in's per-voxel baselines.
  const NoiseKey key{seed_, replicate_, static_cast<uint32_t>(subject.subjectNumber)};
  model_.apply(data.data(), nullptr, key, threads_);
}

}  // namespace cohortix::host::noise
