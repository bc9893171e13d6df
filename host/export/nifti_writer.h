#pragma once
// Writes a simulated VTC as a 4-D NIfTI-1 volume in Talairach space: float32,
// DimX x DimY x DimZ x volumes, voxels of Resolution mm, one volume per repetition
// time, qform and sform both Talairach.

#include <cstdint>
#include <filesystem>

#include "control/vtc_geometry.h"
#include "host/documents/two_gamma_hrf.h"
#include "host/io/status.h"

namespace cohortix::host {

class DiskInterface;

struct NiftiTimeCourse {
  cohortix::VTCBox box;
  cohortix::VTCDims dims;
  int32_t NrOfVolumes = 0;
  double repetitionTime = kDefaultRepetitionTime;   // seconds
  const float* data = nullptr;   // the VTC's values, time fastest within each voxel
};

// ".nii.gz" compresses, ".nii" does not. The file appears under its name only
// when complete; a failure reads "cannot write FILE: reason".
Status writeNifti(DiskInterface& disk, const std::filesystem::path& file,
                const NiftiTimeCourse& volume);

// Volumes first .. first + count - 1 of the VTC's time-fastest data, volume by
// volume with x fastest, into block (count x voxels floats).
void copyVolumeBlock(const float* vtc, int64_t voxels, int32_t volumes, int32_t first,
                     int32_t count, float* block);

// How many volumes go into one block of at most `bytes`: at least one.
int32_t volumesPerBlock(int64_t voxels, int32_t volumes, int64_t bytes);

}  // namespace cohortix::host
