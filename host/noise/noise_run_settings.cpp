#include "host/noise/noise_run_settings.h"

#include <cstdio>
#include <sstream>

#include "host/noise/noise_forecast.h"
#include "host/noise/noise_profile_file.h"

namespace cohortix::host::noise {
namespace {

std::string indented(const std::string& text) {
  std::istringstream lines(text);
  std::string block;
  for (std::string line; std::getline(lines, line);) block += "    " + line + "\n";
  return block;
}

std::string fixed(double value, const char* format) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string statisticsText(const NoiseStatistics& s) {
  return "temporal SNR " + fixed(s.tsnr, "%.1f") + ", AR(1) " + fixed(s.ar1, "%.3f") + ", FWHM " +
         fixed(s.fwhmMeanMm, "%.2f") + " mm";
}

}  // namespace

std::string noiseForecastNote(const NoiseRunSettings& settings, const NoiseGeometry& geometry,
                              double pluginNoisePercent) {
  if (!settings.components || !settings.profile) return "";
  const NoiseStatistics alone = forecastStatistics(*settings.components, geometry);
  if (settings.profile->pluginNoise == PluginNoise::Replace)
    return settings.profileName + " takes the place of the plug-in's own noise: the data will read " +
           statisticsText(alone);
  const NoiseStatistics both = forecastStatistics(*settings.components, geometry, pluginNoisePercent);
  return settings.profileName + " adds the host's noise to the plug-in's own (NoisePercent " +
         fixed(pluginNoisePercent, "%g") + "): the data will read " + statisticsText(both) +
         " (the profile alone: " + statisticsText(alone) + ")";
}

std::string noiseRunReadme(const NoiseRunSettings& settings) {
  if (!settings.hasNoise() && settings.replicate == 0) return "";
  std::string text = "\n## Replicate and host noise\n\n";
  if (settings.replicate == 0)
    text += "Replicate 0: the subjects of the study as written.";
  else
    text += "Replicate " + std::to_string(settings.replicate) +
            ": an independent sample of the study. The simulator ran the study with " +
            std::to_string(settings.replicate + 1) +
            " times its subjects per group and each group's subjects here are the last of them, "
            "written under the study's names.";
  if (!settings.hasNoise()) return text + " No host noise was added.\n";
  const bool added = settings.profile->pluginNoise == PluginNoise::Add;
  text += std::string("\n\nHost noise ") +
          (added ? "was added to the simulator's own noise in" : "took the place of the simulator's own noise in") +
          " every subject's bold series, from the profile " + settings.profileName + " with seed " +
          std::to_string(settings.seed) +
          "; each subject's noise is keyed by (seed, replicate, subject number). The profile:\n\n" +
          indented(formatNoiseProfile(*settings.profile));
  if (settings.components && settings.profile->target) {
    NoiseProfile solved;
    solved.components = *settings.components;
    text += "\nThe components added, solved for the study's geometry:\n\n" +
            indented(formatNoiseProfile(solved));
  }
  return text;
}

}  // namespace cohortix::host::noise
