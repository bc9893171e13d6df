#pragma once
// The host noise and the replicate of one run, as the run's outputs record them
// (the BIDS dataset's README; the ground truth).

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "host/noise/noise_geometry.h"
#include "host/noise/noise_profile.h"

namespace cohortix::host::noise {

// The seed of the host noise when the run names none (`--seed`).
inline constexpr uint64_t kDefaultNoiseSeed = 1;

struct NoiseRunSettings {
  std::filesystem::path profilePath;  // empty: no host noise
  std::string profileName;            // the file's name
  std::optional<NoiseProfile> profile;
  // The components added, solved for the study's geometry when the profile is a
  // target.
  std::optional<NoiseComponents> components;
  uint64_t seed = kDefaultNoiseSeed;
  uint32_t replicate = 0;  // 0: the study as written

  bool hasNoise() const { return profile.has_value(); }
};

// What the estimators will read, on average, from a run's data, in one line naming
// the profile: the host's noise alone where it replaces the plug-in's, or, where the
// profile adds it, both noises together and the profile's alone. Empty without
// noise.
std::string noiseForecastNote(const NoiseRunSettings& settings, const NoiseGeometry& geometry,
                              double pluginNoisePercent);

// A section for the dataset's README, in Markdown: the replicate, the noise
// profile with its values, the components added and the seed. Empty for a plain
// run (no noise, replicate 0), whose README stays as it was.
std::string noiseRunReadme(const NoiseRunSettings& settings);

}  // namespace cohortix::host::noise
