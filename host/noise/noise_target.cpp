#include "host/noise/noise_target.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <sstream>
#include <utility>

#include "host/noise/lattice_kernel.h"
#include "host/noise/monotone_solve.h"
#include "host/noise/noise_forecast.h"

namespace cohortix::host::noise {
namespace {

std::string number(double value) {
  std::ostringstream text;
  text.precision(3);
  text << value;
  return text.str();
}

ForecastPart scaled(ForecastPart part, double factor) {
  part.moments.lag0 *= factor;
  part.moments.lag1 *= factor;
  for (double& projection : part.projections) projection *= factor;
  return part;
}

// The parts whose size the shares fix, and how much residual variance they leave
// for the random noise.
struct FixedParts {
  NoiseComponents components;
  ForecastParts forecast;
  double randomBudget = 0.0;
};

Result<FixedParts> fixedParts(const NoiseTarget& target, const NoiseGeometry& geometry,
                              const HighPassDesign& design, double variance) {
  FixedParts fixed;
  double shares = target.globalShare;
  for (const RhythmTarget& rhythm : target.rhythms) {
    Rhythm unit{rhythm.name, rhythm.frequencyHz, 1.0, rhythm.weightsFwhmMm};
    NoiseComponents only;
    only.rhythms = {unit};
    const ForecastParts parts = forecastParts(only, geometry, design);
    const double perUnit = parts.parts[0].moments.lag0;
    if (rhythm.share > 0.0 && !(perUnit > 1e-9))
      return Status::error("rhythm \"" + rhythm.name + "\" at " + number(rhythm.frequencyHz) +
                           " Hz falls where the high-pass filter removes it at TR " +
                           number(geometry.repetitionTime) + " s");
    unit.amplitudePercent = rhythm.share > 0.0 ? std::sqrt(rhythm.share * variance / perUnit) : 0.0;
    fixed.components.rhythms.push_back(unit);
    fixed.forecast.parts.push_back(scaled(parts.parts[0], unit.amplitudePercent * unit.amplitudePercent));
    fixed.forecast.parts.back().spatial = smoothCorrelation(rhythm.weightsFwhmMm, geometry);
    fixed.forecast.periodic.push_back(parts.periodic[0]);
    fixed.forecast.periodic.back().amplitudePercent = unit.amplitudePercent;
    shares += rhythm.share;
  }
  if (target.globalShare > 0.0) {
    NoiseComponents only;
    only.global = {1.0, {target.globalAr1}};
    const ForecastParts parts = forecastParts(only, geometry, design);
    const double amplitude = std::sqrt(target.globalShare * variance / parts.parts[0].moments.lag0);
    fixed.components.global = {amplitude, {target.globalAr1}};
    fixed.forecast.globalPart = static_cast<int>(fixed.forecast.parts.size());
    fixed.forecast.parts.push_back(scaled(parts.parts[0], amplitude * amplitude));
    fixed.forecast.parts.back().spatial = {1.0, 1.0, 1.0};
  }
  if (shares >= 1.0 - 1e-6)
    return Status::error("the shares of the rhythms and the global signal add up to " +
                         number(shares) + "; they must leave room for the random noise (below 1)");
  fixed.randomBudget = variance * (1.0 - shares);
  fixed.components.drift = {std::sqrt(target.driftShare * variance), kDefaultCutoffSeconds};
  fixed.forecast.driftInBand = target.driftShare * variance;
  return fixed;
}

}  // namespace

Result<NoiseComponents> solveTarget(const NoiseTarget& target, const NoiseGeometry& geometry) {
  if (!(target.tsnr > 0.0)) return Status::error("expected a tsnr above 0, found " + number(target.tsnr));
  const HighPassDesign design(geometry.volumes, geometry.repetitionTime);
  const double variance = (100.0 / target.tsnr) * (100.0 / target.tsnr);
  Result<FixedParts> fixedResult = fixedParts(target, geometry, design, variance);
  if (!fixedResult) return fixedResult.status();
  const FixedParts& fixed = fixedResult.value();
  const double share = target.systemShare;
  const ForecastPart white = whiteForecast(1.0, design);

  // Everything but the tissue field's smoothness, for a tissue AR(1) coefficient rho.
  const auto assemble = [&](double rho, double fwhmMm) {
    ForecastParts forecast = fixed.forecast;
    ForecastPart tissue;
    tissue.moments = design.expectedMomentsOfAr1(rho, &tissue.projections);
    const double level2 =
        fixed.randomBudget / (share * white.moments.lag0 + (1.0 - share) * tissue.moments.lag0);
    if (share > 0.0) forecast.parts.push_back(scaled(white, level2 * share));
    if (share < 1.0) {
      tissue = scaled(tissue, level2 * (1.0 - share));
      tissue.spatial = smoothCorrelation(fwhmMm, geometry);
      forecast.parts.push_back(tissue);
    }
    return std::pair(forecast, level2);
  };
  const auto statisticsAt = [&](double rho, double fwhmMm) {
    return combineForecast(assemble(rho, fwhmMm).first, geometry, design);
  };

  constexpr double kRhoLimit = 0.95;
  const double lowest = statisticsAt(-kRhoLimit, 0.0).ar1;
  const double highest = statisticsAt(kRhoLimit, 0.0).ar1;
  double rho = 0.0;
  if (share < 1.0 && target.ar1 >= lowest && target.ar1 <= highest) {
    rho = solveIncreasing([&](double r) { return statisticsAt(r, 0.0).ar1; }, target.ar1, -kRhoLimit, kRhoLimit, 1e-9);
  } else if (std::fabs(statisticsAt(0.0, 0.0).ar1 - target.ar1) > 0.005) {
    const std::string reach = share < 1.0 ? "between " + number(lowest) + " and " + number(highest)
                                          : "only " + number(statisticsAt(0.0, 0.0).ar1);
    return Status::error("ar1 " + number(target.ar1) + " cannot be reached: with system_share " +
                         number(share) + " and the other shares the residuals' AR(1) is " + reach);
  }

  double fwhm = 0.0;
  const auto meanFwhm = [&](double f) {
    const double value = statisticsAt(rho, f).fwhmMeanMm;
    return std::isnan(value) ? 0.0 : value;
  };
  const double smoothest = kMaxFwhmVoxels * std::min({geometry.voxelMm[0], geometry.voxelMm[1], geometry.voxelMm[2]});
  const double floor = meanFwhm(0.0);
  if (target.fwhmMm > floor + 1e-9) {
    const double ceiling = share < 1.0 ? meanFwhm(smoothest) : floor;
    if (target.fwhmMm > ceiling)
      return Status::error("fwhm_mm " + number(target.fwhmMm) + " cannot be reached: with system_share " +
                           number(share) + " the residuals' FWHM is at most " + number(ceiling) + " mm");
    fwhm = solveIncreasing(meanFwhm, target.fwhmMm, 0.0, smoothest, 1e-9);
  } else if (target.fwhmMm < floor - 0.01 * floor) {
    return Status::error("fwhm_mm " + number(target.fwhmMm) + " is below the " + number(floor) +
                         " mm that the rhythms' weights and the global signal give by themselves");
  }

  NoiseComponents components = fixed.components;
  const double level2 = assemble(rho, fwhm).second;
  components.noise.levelPercent = std::sqrt(level2);
  components.noise.systemShare = share;
  components.noise.system = target.system;
  if (share < 1.0 && rho != 0.0) components.noise.ar = {rho};
  components.noise.fwhmMm = share < 1.0 ? fwhm : 0.0;
  return components;
}

NoiseTarget targetOfStatistics(const NoiseStatistics& statistics, const NoiseGeometry& geometry) {
  NoiseTarget target;
  target.tsnr = statistics.tsnr;
  target.ar1 = statistics.ar1;
  target.fwhmMm = std::isnan(statistics.fwhmMeanMm) ? 0.0 : statistics.fwhmMeanMm;
  target.driftShare = statistics.driftShare;
  double shares = 0.0;
  int index = 0;
  for (const PeriodicComponent& component : statistics.periodic) {
    target.rhythms.push_back({"periodic " + std::to_string(++index), component.frequencyHz, component.share, 10.0});
    shares += component.share;
  }
  constexpr double kNegligibleGlobalShare = 0.005;
  if (statistics.globalShare >= kNegligibleGlobalShare) {
    target.globalShare = statistics.globalShare;
    target.globalAr1 = std::clamp(statistics.globalAr1, -0.95, 0.99);
    shares += target.globalShare;
  }
  const double rayleigh = std::sqrt(std::numbers::pi / 2.0);
  if (std::isfinite(statistics.backgroundPercent) &&
      std::fabs(statistics.backgroundMeanRatio / rayleigh - 1.0) <= 0.05) {
    target.system = SystemNoise::Rician;
    const double random = statistics.residualPercent * statistics.residualPercent * std::max(0.0, 1.0 - shares);
    target.systemShare = random > 0.0 ? std::clamp(statistics.backgroundPercent * statistics.backgroundPercent / random, 0.0, 1.0) : 1.0;
    return target;
  }
  target.system = SystemNoise::Gaussian;
  for (const double share : {0.2, 0.1, 0.05, 0.0}) {
    target.systemShare = share;
    if (solveTarget(target, geometry)) break;
  }
  return target;
}

}  // namespace cohortix::host::noise
