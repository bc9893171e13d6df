#pragma once
// What the estimators will read, on average, from data a noise model makes: each
// component's expected residual moments under the estimators' high-pass fit, its
// share of the drift projections and its neighbour correlation per axis, combined
// as the estimators combine them. The target mode inverts this; the tests compare
// the estimators with it.

#include <array>
#include <vector>

#include "host/noise/high_pass_design.h"
#include "host/noise/noise_geometry.h"
#include "host/noise/noise_profile.h"
#include "host/noise/noise_statistics.h"

namespace cohortix::host::noise {

struct ForecastPart {
  ResidualMoments moments;           // percent^2 per degree of freedom
  std::vector<double> projections;   // E[beta_k^2], k = 1 .. K of the estimators
  std::array<double, 3> spatial{};   // correlation of neighbours along x, y, z
};

struct ForecastParts {
  std::vector<ForecastPart> parts;
  int globalPart = -1;
  double driftInBand = 0.0;  // drift variance the cosine projection sees, percent^2
  std::vector<PeriodicComponent> periodic;  // shares still to be filled in
};

ForecastParts forecastParts(const NoiseComponents& components, const NoiseGeometry& geometry,
                            const HighPassDesign& design);
NoiseStatistics combineForecast(const ForecastParts& parts, const NoiseGeometry& geometry,
                                const HighPassDesign& design);
NoiseStatistics forecastStatistics(const NoiseComponents& components, const NoiseGeometry& geometry);
// The same with white noise of `whitePercent` (SD, percent of the baseline) beside
// the components: the plug-in's own noise, when the host's is added to it.
NoiseStatistics forecastStatistics(const NoiseComponents& components, const NoiseGeometry& geometry,
                                   double whitePercent);

// The frequency at which a rhythm of `frequencyHz` appears when sampled every TR.
double aliasedFrequency(double frequencyHz, double repetitionTime);

// Parts of single components (the target mode assembles its own).
ForecastPart whiteForecast(double variance, const HighPassDesign& design);
ForecastPart stationaryForecast(const std::vector<double>& autocovariance, const HighPassDesign& design);
// Neighbour correlation along each axis of a field smoothed to fwhmMm (0: white).
std::array<double, 3> smoothCorrelation(double fwhmMm, const NoiseGeometry& geometry);

}  // namespace cohortix::host::noise
