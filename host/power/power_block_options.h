#pragma once
// What a block of a power analysis is asked, from the command's options as CLI11
// resolved them: the options each block's command line carries, and the identity
// every block's part records so that parts of different analyses (other options,
// another study, profile, seed, plug-in or version) are never combined.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/record/run_record.h"

namespace cohortix::host {

// The inputs as the command resolved them, from its options or a run's record.
struct PowerInputs {
  std::string controlText;
  std::string noiseText;  // empty: no host noise
  std::optional<uint64_t> noiseSeed;
  double repetitionTime = 2.0;
  std::string pluginChecksum;
};

std::vector<std::pair<std::string, std::string>> powerBlockIdentity(const record::RunRecord& asked,
                                                                    const PowerInputs& inputs);

// The options of every block's command but for -o, --noise and --replicate-block:
// those given, the resolved TR (and seed with noise), `jobs` threads and -q.
std::vector<std::string> powerBlockOptions(const record::RunRecord& asked, const PowerInputs& inputs,
                                           int32_t jobs);

}  // namespace cohortix::host
