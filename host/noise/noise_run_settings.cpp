#include "host/noise/noise_run_settings.h"

#include <sstream>

#include "host/noise/noise_profile_file.h"

namespace cohortix::host::noise {
namespace {

std::string indented(const std::string& text) {
  std::istringstream lines(text);
  std::string block;
  for (std::string line; std::getline(lines, line);) block += "    " + line + "\n";
  return block;
}

}  // namespace

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
  text += "\n\nHost noise was added to every subject's bold series from the profile " +
          settings.profileName + " with seed " + std::to_string(settings.seed) +
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
