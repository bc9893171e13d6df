// Feeds arbitrary bytes to the noise-profile reader as the text of a profile.
// Every input must be read or refused with one line that names the file, and a
// profile read must be one that formats and reads back to itself.

#include <string>
#include <string_view>

#include "fuzz/fuzz_input_file.h"
#include "host/noise/noise_profile_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace cohortix::host::noise;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto profile = parseNoiseProfile(text, "profile.toml");
  if (!profile) {
    cohortix::fuzz::requireOneLine(profile.status().message(), "profile.toml");
    return 0;
  }
  auto again = parseNoiseProfile(formatNoiseProfile(profile.value()), "again.toml");
  cohortix::fuzz::require(again.isOk());
  return 0;
}
