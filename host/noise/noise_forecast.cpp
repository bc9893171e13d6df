#include "host/noise/noise_forecast.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "host/noise/ar_process.h"
#include "host/noise/lattice_kernel.h"

namespace cohortix::host::noise {
namespace {

std::vector<double> arAutocovariance(const std::vector<double>& coefficients, double variance,
                                     int volumes) {
  const Result<ArProcess> process = ArProcess::create(coefficients);
  std::vector<double> gamma = process ? process->autocorrelation(volumes - 1)
                                      : std::vector<double>(volumes, 0.0);
  if (!process) gamma[0] = 1.0;
  for (double& value : gamma) value *= variance;
  return gamma;
}

// The drift's orders beyond the estimators' cutoff stay in the residuals, each
// orthogonal to the fit.
ForecastPart driftLeakage(const Drift& drift, const NoiseGeometry& geometry,
                          const HighPassDesign& design) {
  ForecastPart part;
  part.projections.assign(design.orders(), 0.0);
  const int n = geometry.volumes;
  const int orders = cosineOrders(n, geometry.repetitionTime, drift.cutoffSeconds);
  if (orders <= design.orders() || drift.amplitudePercent <= 0.0) return part;
  const double perOrder = drift.amplitudePercent * drift.amplitudePercent / orders;
  const std::vector<double> basis = cosineBasis(n, orders);
  const double dof = design.degreesOfFreedom();
  for (int k = design.orders() + 1; k <= orders; ++k) {
    const double* phi = &basis[static_cast<std::size_t>(k - 1) * n];
    double lagOne = 0.0;
    for (int t = 0; t + 1 < n; ++t) lagOne += phi[t] * phi[t + 1];
    part.moments.lag0 += perOrder * n / dof;
    part.moments.lag1 += perOrder * lagOne / dof;
  }
  return part;
}

}  // namespace

double aliasedFrequency(double frequencyHz, double repetitionTime) {
  const double sampling = 1.0 / repetitionTime;
  double folded = std::fmod(std::fabs(frequencyHz), sampling);
  if (folded > sampling / 2.0) folded = sampling - folded;
  return folded;
}

ForecastPart whiteForecast(double variance, const HighPassDesign& design) {
  std::vector<double> gamma(design.volumes(), 0.0);
  gamma[0] = variance;
  return stationaryForecast(gamma, design);
}

ForecastPart stationaryForecast(const std::vector<double>& autocovariance,
                                const HighPassDesign& design) {
  ForecastPart part;
  part.moments = design.expectedMoments(autocovariance, &part.projections);
  return part;
}

std::array<double, 3> smoothCorrelation(double fwhmMm, const NoiseGeometry& geometry) {
  std::array<double, 3> correlation{};
  for (int axis = 0; axis < 3; ++axis)
    correlation[axis] = lagOneCorrelationOfFwhm(fwhmMm / geometry.voxelMm[axis]);
  return correlation;
}

ForecastParts forecastParts(const NoiseComponents& components, const NoiseGeometry& geometry,
                            const HighPassDesign& design) {
  ForecastParts result;
  const int n = geometry.volumes;
  const RandomNoise& noise = components.noise;
  const double level2 = noise.levelPercent * noise.levelPercent;
  if (level2 > 0.0 && noise.systemShare > 0.0)
    result.parts.push_back(whiteForecast(level2 * noise.systemShare, design));
  if (level2 > 0.0 && noise.systemShare < 1.0) {
    ForecastPart tissue = stationaryForecast(
        arAutocovariance(noise.ar, level2 * (1.0 - noise.systemShare), n), design);
    tissue.spatial = smoothCorrelation(noise.fwhmMm, geometry);
    result.parts.push_back(tissue);
  }
  for (const Rhythm& rhythm : components.rhythms) {
    std::vector<double> gamma(n);
    const double omega = 2.0 * std::numbers::pi * rhythm.frequencyHz * geometry.repetitionTime;
    for (int h = 0; h < n; ++h)
      gamma[h] = rhythm.amplitudePercent * rhythm.amplitudePercent / 2.0 * std::cos(omega * h);
    ForecastPart part = stationaryForecast(gamma, design);
    part.spatial = smoothCorrelation(rhythm.weightsFwhmMm, geometry);
    result.parts.push_back(part);
    result.periodic.push_back({aliasedFrequency(rhythm.frequencyHz, geometry.repetitionTime),
                               rhythm.amplitudePercent, 0.0});
  }
  if (components.global.amplitudePercent > 0.0) {
    const double variance = components.global.amplitudePercent * components.global.amplitudePercent;
    ForecastPart part = stationaryForecast(arAutocovariance(components.global.ar, variance, n), design);
    part.spatial = {1.0, 1.0, 1.0};
    result.globalPart = static_cast<int>(result.parts.size());
    result.parts.push_back(part);
  }
  const Drift& drift = components.drift;
  if (drift.amplitudePercent > 0.0) {
    const int orders = cosineOrders(n, geometry.repetitionTime, drift.cutoffSeconds);
    if (orders > 0)
      result.driftInBand = drift.amplitudePercent * drift.amplitudePercent *
                           std::min(orders, design.orders()) / orders;
    result.parts.push_back(driftLeakage(drift, geometry, design));
  }
  return result;
}

NoiseStatistics combineForecast(const ForecastParts& forecast, const NoiseGeometry& geometry,
                                const HighPassDesign& design) {
  NoiseStatistics statistics;
  statistics.volumes = geometry.volumes;
  statistics.repetitionTime = geometry.repetitionTime;
  statistics.voxelMm = geometry.voxelMm;
  statistics.voxels = geometry.voxels();
  statistics.meanSignal = 100.0;
  ResidualMoments total;
  std::array<double, 3> correlated{};
  double trueLeak = 0.0;
  for (const ForecastPart& part : forecast.parts) {
    total.lag0 += part.moments.lag0;
    total.lag1 += part.moments.lag1;
    for (int axis = 0; axis < 3; ++axis) correlated[axis] += part.moments.lag0 * part.spatial[axis];
    for (const double projection : part.projections) trueLeak += projection;
  }
  if (!(total.lag0 > 0.0)) return statistics;
  statistics.residualPercent = std::sqrt(total.lag0);
  statistics.tsnr = 100.0 / statistics.residualPercent;
  statistics.ar1 = design.ar1OfRatio(total.lag1 / total.lag0);
  double fwhmSum = 0.0;
  int measured = 0;
  for (int axis = 0; axis < 3; ++axis) {
    if (geometry.dim(axis) < 2) continue;
    statistics.fwhmMm[axis] =
        geometry.voxelMm[axis] * fwhmOfLagOneCorrelation(correlated[axis] / total.lag0);
    fwhmSum += statistics.fwhmMm[axis];
    ++measured;
  }
  if (measured > 0) statistics.fwhmMeanMm = fwhmSum / measured;
  // The estimators take off what an AR(1) noise of the measured coefficient and
  // variance would put on the cosine basis.
  std::vector<double> modelProjections;
  const ResidualMoments unit = design.expectedMomentsOfAr1(statistics.ar1, &modelProjections);
  double modelLeak = 0.0;
  for (const double projection : modelProjections) modelLeak += projection * total.lag0 / unit.lag0;
  const double drift2 = forecast.driftInBand + trueLeak - modelLeak;
  statistics.driftPercent = std::sqrt(std::max(0.0, drift2));
  statistics.driftShare = statistics.driftPercent * statistics.driftPercent / total.lag0;
  statistics.periodic = forecast.periodic;
  for (PeriodicComponent& component : statistics.periodic)
    component.share = component.amplitudePercent * component.amplitudePercent / 2.0 / total.lag0;
  std::sort(statistics.periodic.begin(), statistics.periodic.end(),
            [](const PeriodicComponent& a, const PeriodicComponent& b) {
              return a.amplitudePercent > b.amplitudePercent;
            });
  if (forecast.globalPart >= 0) {
    const ResidualMoments& global = forecast.parts[forecast.globalPart].moments;
    statistics.globalShare = global.lag0 / total.lag0;
    statistics.globalAr1 = design.ar1OfRatio(global.lag1 / global.lag0);
  }
  return statistics;
}

NoiseStatistics forecastStatistics(const NoiseComponents& components, const NoiseGeometry& geometry) {
  return forecastStatistics(components, geometry, 0.0);
}

NoiseStatistics forecastStatistics(const NoiseComponents& components, const NoiseGeometry& geometry,
                                   double whitePercent) {
  const HighPassDesign design(geometry.volumes, geometry.repetitionTime);
  ForecastParts parts = forecastParts(components, geometry, design);
  if (whitePercent > 0.0) parts.parts.push_back(whiteForecast(whitePercent * whitePercent, design));
  return combineForecast(parts, geometry, design);
}

}  // namespace cohortix::host::noise
