#pragma once
// A 4-D image as the estimators read it: slice by slice, each voxel's time series
// contiguous, whatever the file's own layout. A .vtc is read slice by slice from
// the file (its header by the offsets of docs/formats.md), a NIfTI image (.nii,
// .nii.gz) is held once in its own data type and scaled as its header says; no
// other copy of the data is made.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "host/io/status.h"
#include "host/noise/noise_geometry.h"

namespace cohortix::host::noise {

class TimeSeriesImage {
 public:
  virtual ~TimeSeriesImage() = default;
  const NoiseGeometry& geometry() const { return geometry_; }
  // Slice z: dimX * dimY voxels, x fastest, each with `volumes` values.
  virtual Status readSlice(int z, float* out) const = 0;

 protected:
  NoiseGeometry geometry_;
};

// Data already in memory in the model's layout (not owned).
class MemoryTimeSeries : public TimeSeriesImage {
 public:
  MemoryTimeSeries(const NoiseGeometry& geometry, const float* data);
  Status readSlice(int z, float* out) const override;

 private:
  const float* data_;
};

// .vtc, .nii or .nii.gz by the name's ending. Refuses, naming the file, anything
// that is not a readable 4-D image with at least 3 volumes, voxel sizes and a
// repetition time.
Result<std::unique_ptr<TimeSeriesImage>> openTimeSeriesImage(const std::filesystem::path& file);

// A 3-D NIfTI image (or 4-D of one volume) with the geometry's dimensions: one byte
// per voxel, 1 where the image is not 0.
Result<std::vector<uint8_t>> readMask(const std::filesystem::path& file, const NoiseGeometry& geometry);

}  // namespace cohortix::host::noise
