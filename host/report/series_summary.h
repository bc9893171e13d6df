#pragma once
// A subject's data read once, front to back, without holding them: per voxel the
// mean and standard deviation over the run (the temporal SNR is their ratio), and
// the whole time course of a few chosen voxels. A .vtc streams one voxel's time
// course at a time, a NIfTI volume (.nii or .nii.gz) one volume at a time, so the
// memory used is a few values per voxel whatever the run's length.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "host/documents/vtc_document.h"
#include "host/io/status.h"

namespace cohortix::host {

struct SeriesHeader {
  VTCDims dims;
  int32_t volumes = 0;
  double repetitionTime = 0;  // seconds
};

struct SeriesSummary {
  SeriesHeader header;
  std::vector<float> mean;  // by voxel number (z * DimY + y) * DimX + x
  std::vector<float> sd;    // sample standard deviation over the volumes
  std::vector<std::vector<float>> traces;  // the chosen voxels' time courses, in order
};

// The dimensions, volumes and repetition time of a .vtc or NIfTI file.
Result<SeriesHeader> readSeriesHeader(const std::filesystem::path& file);

// Reads the whole file once; voxels are voxel numbers within the box.
Result<SeriesSummary> summariseSeries(const std::filesystem::path& file,
                                      const std::vector<std::size_t>& voxels);

}  // namespace cohortix::host
