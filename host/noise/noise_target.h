#pragma once
// Target mode: the components that make the estimators read the asked statistics
// from data of a given geometry. The random noise is split as asked between white
// system noise and the tissue field; the tissue field's AR(1) coefficient and FWHM
// are solved so that the residuals' AR(1) and FWHM, with every other component in
// them, come out as asked; the rhythms, the global signal and the drift get the
// amplitudes their shares ask for.

#include "host/io/status.h"
#include "host/noise/noise_geometry.h"
#include "host/noise/noise_profile.h"
#include "host/noise/noise_statistics.h"

namespace cohortix::host::noise {

// Refuses a target that no components reach, naming the statistic and the range
// that can be reached.
Result<NoiseComponents> solveTarget(const NoiseTarget& target, const NoiseGeometry& geometry);

// The target that reproduces measured statistics on data of the same geometry. The
// system noise is Rician with the background's level when the background looks
// like magnitude noise (mean over level within 5% of sqrt(pi / 2)); otherwise
// Gaussian, with the largest of the shares 0.2, 0.1, 0.05 and 0 that lets the
// measured AR(1) and FWHM be reached.
NoiseTarget targetOfStatistics(const NoiseStatistics& statistics, const NoiseGeometry& geometry);

}  // namespace cohortix::host::noise
