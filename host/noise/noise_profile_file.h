#pragma once
// Noise profiles as small TOML files (docs/noise.md; bundled ones in
// examples/noise/). Reading refuses, with "file:line: expected ..., found ...",
// anything that is not a profile: TOML that does not parse, unknown tables or keys,
// values of the wrong type or out of range, components mixed with a target.

#include <filesystem>
#include <string>
#include <string_view>

#include "host/io/status.h"
#include "host/noise/noise_profile.h"

namespace cohortix::host::noise {

// `name` is the file name the messages give.
Result<NoiseProfile> parseNoiseProfile(std::string_view text, const std::string& name);
Result<NoiseProfile> readNoiseProfile(const std::filesystem::path& file);

// The profile as TOML that parseNoiseProfile reads back to the same profile (numbers
// to six significant digits);
// `comment` (any number of lines) heads it as # comments.
std::string formatNoiseProfile(const NoiseProfile& profile, const std::string& comment = "");

}  // namespace cohortix::host::noise
