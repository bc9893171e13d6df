// Feeds arbitrary bytes to the noise-profile reader as the text of a profile,
// and to the reader of the acquisition beside the noise ([motion], [slices]).
// Every input must be read or refused with one line that names the file, and a
// profile read must be one that formats and reads back to itself.

#include <string>
#include <string_view>

#include "fuzz/fuzz_input_file.h"
#include "host/motion/acquisition_profile.h"
#include "host/noise/noise_profile_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace cohortix::host::noise;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto acquisition = cohortix::host::motion::parseAcquisitionProfile(text, "profile.toml");
  if (!acquisition) cohortix::fuzz::requireOneLine(acquisition.status().message(), "profile.toml");
  else
    for (const int32_t slices : {1, 7, 46})
      static_cast<void>(cohortix::host::motion::resolveAcquisition(&acquisition.value(), {}, slices, 2.0, true));
  auto profile = parseNoiseProfile(text, "profile.toml");
  if (!profile) {
    cohortix::fuzz::requireOneLine(profile.status().message(), "profile.toml");
    return 0;
  }
  auto again = parseNoiseProfile(formatNoiseProfile(profile.value()), "again.toml");
  cohortix::fuzz::require(again.isOk());
  return 0;
}
