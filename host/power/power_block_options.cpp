#include "host/power/power_block_options.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string_view>

#include "host/record/checksum.h"
#include "host/record/run_recorder.h"

namespace cohortix::host {
namespace {

// Options that say where and how a block runs, not what it computes, and the
// inputs given by the checksums and resolved values of PowerInputs.
constexpr std::array<std::string_view, 12> kNotShaping = {
    "control-file", "--output", "--force",  "--quiet",           "--jobs", "--slurm",
    "--blocks",     "--noise",  "--seed",   "--replicate-block", "--tr",   "--help"};

bool shaping(const record::RecordedOption& option) {
  return std::find(kNotShaping.begin(), kNotShaping.end(), option.name) == kNotShaping.end();
}

std::string exact(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

std::string joined(const std::vector<std::string>& values) {
  std::string text;
  for (const std::string& value : values) text += (text.empty() ? "" : ", ") + value;
  return text;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> powerBlockIdentity(const record::RunRecord& asked,
                                                                    const PowerInputs& inputs) {
  std::vector<std::pair<std::string, std::string>> identity = {
      {"cohortix", record::cohortixVersion()},
      {"plug-in", inputs.pluginChecksum},
      {"control file", record::checksumOf(inputs.controlText)},
      {"noise profile", inputs.noiseText.empty() ? "none" : record::checksumOf(inputs.noiseText)},
      {"--seed", inputs.noiseSeed ? std::to_string(*inputs.noiseSeed) : "none"},
      {"--tr", exact(inputs.repetitionTime)}};
  for (const record::RecordedOption& option : asked.options)
    if (shaping(option)) identity.emplace_back(option.name, option.flag ? (option.on ? "on" : "off") : joined(option.values));
  return identity;
}

std::vector<std::string> powerBlockOptions(const record::RunRecord& asked, const PowerInputs& inputs,
                                           int32_t jobs) {
  std::vector<std::string> words;
  for (const record::RecordedOption& option : asked.options) {
    if (!option.given || !shaping(option)) continue;
    if (option.flag) {
      if (option.on) words.push_back(option.name);
      continue;
    }
    for (const std::string& value : option.values) words.insert(words.end(), {option.name, value});
  }
  words.insert(words.end(), {"--tr", exact(inputs.repetitionTime)});
  if (inputs.noiseSeed) words.insert(words.end(), {"--seed", std::to_string(*inputs.noiseSeed)});
  words.insert(words.end(), {"--jobs", std::to_string(jobs), "--quiet"});
  return words;
}

}  // namespace cohortix::host
