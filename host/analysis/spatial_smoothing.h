#pragma once
// Gaussian smoothing of a subject's volumes before the first level (`analyze
// --smooth FWHM`): separable, one pass per axis, the kernel of standard deviation
// FWHM / (2 sqrt(2 ln 2)) in each axis's voxel widths, cut at 3 SDs (radius
// floor(3 sigma + 0.5) voxels, as common filters do). At the box's faces the
// kernel's weights inside the box are renormalised to sum to 1, so a flat volume
// stays flat: the result equals smoothing the data with zeros outside, divided by
// the same smoothing of ones.

#include <array>
#include <cstdint>
#include <span>

#include "host/analysis/study_source.h"

namespace cohortix::host {

// Voxel widths in mm of the grid, from its affine's columns.
std::array<double, 3> voxelSizesOf(const StudyGrid& grid);

// data: the VTC's layout (voxel-major, `volumes` values per voxel, x fastest).
// fwhmMm <= 0 leaves the data as they are.
void smoothVolumes(std::span<float> data, const StudyGrid& grid, int32_t volumes, double fwhmMm);

}  // namespace cohortix::host
