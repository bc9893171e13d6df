#include "host/analysis/nifti_reader.h"

#include <cmath>
#include <cstring>
#include <memory>

#include "host/documents/vtc_document.h"
#include "host/export/nifti_input.h"

namespace cohortix::host {

Result<NiftiVolume> readNifti(const std::filesystem::path& file) {
  Result<NiftiInput> opened = NiftiInput::open(file);
  if (!opened) return opened.status();
  NiftiInput& input = opened.value();
  const NiftiHeader& header = input.header();
  if (header.dim[5] > 1 || header.dim[6] > 1 || header.dim[7] > 1)
    return Status::error("cannot read " + file.string() + ": images of more than four dimensions are not supported");
  const uint64_t memory = physicalMemoryBytes();
  if (memory > 0 && static_cast<uint64_t>(header.values()) * sizeof(float) > memory)
    return Status::error("cannot read " + file.string() + ": its " + std::to_string(header.values()) +
                         " values would exceed the machine's physical memory of " + std::to_string(memory) + " bytes");
  NiftiVolume volume;
  volume.dims = {static_cast<int32_t>(header.dim[1]), static_cast<int32_t>(header.dim[2]),
                 static_cast<int32_t>(header.dim[3])};
  volume.volumes = static_cast<int32_t>(header.dim[4]);
  volume.affine = header.affine;
  volume.repetitionTime = header.dim[4] > 1 ? header.secondsPerVolume() : 0.0;
  volume.data.resize(static_cast<std::size_t>(header.values()));
  if (Status status = input.readScaled(volume.data.data(), volume.data.size()); !status) return status;
  if (Status status = input.finish(); !status) return status;
  return volume;
}

std::vector<float> volumeOf(const NiftiVolume& image, int32_t volume) {
  const auto voxels = static_cast<std::size_t>(image.voxels());
  const auto first = image.data.begin() + static_cast<std::ptrdiff_t>(voxels * volume);
  return std::vector<float>(first, first + static_cast<std::ptrdiff_t>(voxels));
}

std::vector<float> timeFastest(const NiftiVolume& image) {
  const auto voxels = static_cast<std::size_t>(image.voxels());
  const auto volumes = static_cast<std::size_t>(image.volumes);
  std::vector<float> series(image.data.size());
  for (std::size_t t = 0; t < volumes; ++t)
    for (std::size_t v = 0; v < voxels; ++v) series[v * volumes + t] = image.data[t * voxels + v];
  return series;
}

bool sameGrid(const NiftiVolume& a, const NiftiVolume& b) {
  if (a.dims.DimX != b.dims.DimX || a.dims.DimY != b.dims.DimY || a.dims.DimZ != b.dims.DimZ)
    return false;
  for (int row = 0; row < 3; ++row)
    for (int column = 0; column < 4; ++column)
      if (std::fabs(a.affine[row][column] - b.affine[row][column]) > 1e-3) return false;
  return true;
}

}  // namespace cohortix::host
