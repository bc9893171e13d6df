#pragma once
// The subject's anatomy behind the report's slices, for a run made on one: its
// T1-weighted image as the run wrote it (beside the native files, or in the BIDS
// dataset's anat/ folder), else, when the run's truth holds a brain mask, the
// baseline its truth gives the subject. Either is resampled to the functional
// grid (each voxel the mean of the image's voxels nearest to the points of its
// block) and scaled to 0..1, 1 at the 99th percentile of the grid's positive
// values. A run without anatomy has none, and its slices are drawn as before.

#include <vector>

#include "control/vtc_geometry.h"
#include "host/io/status.h"
#include "host/report/png_image.h"
#include "host/report/study_run.h"

namespace cohortix::host {

// By voxel number, (z * DimY + y) * DimX + x; empty: no anatomy found.
using AnatomyBackground = std::vector<float>;

Result<AnatomyBackground> subjectAnatomy(const StudyRun& run, const SubjectFiles& subject, const VTCBox& box);

// The voxel's grey on the anatomy, with the overlay laid over it at `opacity`
// (0: the anatomy alone, 1: the overlay alone). Without anatomy, the overlay.
Rgb overAnatomy(const AnatomyBackground& anatomy, std::size_t voxel, Rgb overlay, double opacity);
// The anatomy's grey alone, or `fallback` without anatomy.
Rgb anatomyGrey(const AnatomyBackground& anatomy, std::size_t voxel, Rgb fallback);

}  // namespace cohortix::host
