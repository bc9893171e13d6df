#pragma once
// A subject's truth as images on its VTC's grid, each with a sidecar naming what
// it holds: the effect of every cell, the region label map and the baselines.

#include <filesystem>
#include <string>
#include <vector>

#include "control/vtc_geometry.h"
#include "host/io/status.h"
#include "host/truth/subject_truth.h"

namespace cohortix::host {
class DiskInterface;
}

namespace cohortix::host::truth {

// "X.nii" or "X.nii.gz" -> "X.json".
std::filesystem::path sidecarPath(const std::filesystem::path& image);

// The percent effects of every cell (one volume per cell) and their sidecar.
Status writeEffectImage(DiskInterface& disk, const std::filesystem::path& file,
                        const VTCBox& box, const std::vector<std::string>& cells,
                        const std::vector<float>& effects, const std::string& description);
Status writeSubjectEffects(DiskInterface& disk, const std::filesystem::path& file,
                           const VTCBox& box, const SubjectTruth& truth);
// int16: 0 where no region wrote, r + 1 where region r wrote last.
Status writeSubjectRegions(DiskInterface& disk, const std::filesystem::path& file,
                           const VTCBox& box, const SubjectTruth& truth);
// F per voxel, in signal units.
Status writeSubjectBaseline(DiskInterface& disk, const std::filesystem::path& file,
                            const VTCBox& box, const SubjectTruth& truth);

}  // namespace cohortix::host::truth
