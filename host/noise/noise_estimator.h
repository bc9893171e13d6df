#pragma once
// The estimators of docs/noise.md, read from any 4-D image slice by slice: each
// voxel's series is fitted with an intercept and the cosine basis below 128 s, and
// its residuals, in percent of its mean, give the temporal SNR, the AR(1), the
// FWHM along each axis (from first differences of the standardised residuals,
// pooled over volumes), the drift below the cutoff (its cosine projections less
// what the residual noise puts there), the periodic components of the pooled
// spectrum and the global signal's share. Memory: the image's own (see
// TimeSeriesImage) plus three slices of series.
//
// The mask: the voxels given (non-zero in `mask`), or else those whose temporal mean
// exceeds a tenth of the 98th percentile of all temporal means. Voxels with a
// non-positive mean, a constant series or a value that is not finite are left out.
// Outside the mask, voxels whose mean is below that threshold are the background.

#include <cstdint>
#include <vector>

#include "host/io/status.h"
#include "host/noise/noise_statistics.h"
#include "host/noise/time_series_image.h"

namespace cohortix::host::noise {

// Refuses an image too short for the fit or with no voxel in the mask.
Result<NoiseStatistics> estimateNoise(const TimeSeriesImage& image,
                                      const std::vector<uint8_t>* mask = nullptr);

}  // namespace cohortix::host::noise
