#pragma once
// Reads a NIfTI-1 image (.nii or .nii.gz, through the checked NiftiInput) into single
// precision, whatever type it stores and with its scaling applied: a statistical
// map of any package, a truth mask or label map, or a bold series.

#include <cstdint>
#include <filesystem>
#include <vector>

#include "control/vtc_geometry.h"
#include "host/io/status.h"

namespace cohortix::host {

struct NiftiVolume {
  cohortix::VTCDims dims;
  int32_t volumes = 1;                 // the fourth dimension (1 for a 3-D image)
  cohortix::TalairachAffine affine{};  // sform, else qform, else the voxel sizes
  double repetitionTime = 0.0;         // pixdim[4] in seconds; 0 when not a time series
  std::vector<float> data;             // volume by volume, x fastest

  int64_t voxels() const { return int64_t{dims.DimX} * dims.DimY * dims.DimZ; }
};

Result<NiftiVolume> readNifti(const std::filesystem::path& file);

// One volume's voxels (0-based volume).
std::vector<float> volumeOf(const NiftiVolume& image, int32_t volume);

// The same values with each voxel's series together (the VTC's layout).
std::vector<float> timeFastest(const NiftiVolume& image);

// Whether two grids agree: the same dimensions and affines within 1/1000 of a
// millimetre.
bool sameGrid(const NiftiVolume& a, const NiftiVolume& b);

}  // namespace cohortix::host
