#pragma once
// Whether an image the estimators opened is a time series at all: a statistical
// map stacked in volumes (betas per cell, say) opens as a 4-D image too, and its
// "temporal SNR" and "AR(1)" would mean nothing.

#include <filesystem>

#include "host/io/status.h"
#include "host/noise/noise_geometry.h"

namespace cohortix::host::noise {

// Fewer volumes leave the high-pass fit and the AR(1) too few residual degrees of
// freedom to say anything.
inline constexpr int kMinTimeSeriesVolumes = 10;

// Refuses, naming the file, an image of fewer than kMinTimeSeriesVolumes volumes,
// or one whose JSON sidecar (the same name ending in .json) describes map values
// ("Values") and no repetition time ("RepetitionTime"), as the maps of
// `cohortix analyze` have.
Status checkTimeSeries(const std::filesystem::path& file, const NoiseGeometry& geometry);

}  // namespace cohortix::host::noise
