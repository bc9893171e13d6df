// Feeds arbitrary bytes to the checked JSON reader, as any JSON file, as a run
// record, as a subject's truth and as a block's part of a power analysis. Every
// input must be parsed or refused with one line of printable text; what parses has
// no key twice in an object, writes out and parses back to itself; a record read
// writes out as a record that reads back the same, and so does a part; a truth
// read holds single-precision numbers that are finite.

#include <cmath>
#include <string>
#include <string_view>

#include "fuzz/fuzz_input_file.h"
#include "host/io/json_input.h"
#include "host/power/power_part.h"
#include "host/record/run_record.h"
#include "host/truth/truth_json.h"

namespace {

using cohortix::fuzz::require;
using namespace cohortix::host;

void requirePrintableLine(const std::string& message) {
  require(!message.empty());
  for (const char c : message) require(c >= 0x20 && c < 0x7f);
}

void asRecord(const JsonValue& json) {
  auto read = record::runRecordOf(json);
  if (!read) return requirePrintableLine(read.status().message());
  const std::string written = record::runRecordJson(read.value());
  auto again = record::parseRunRecord(written);
  require(again.isOk());
  require(record::runRecordJson(again.value()) == written);
}

void asTruth(const JsonValue& json) {
  auto read = truth::truthOfJson(json);
  if (!read) return requirePrintableLine(read.status().message());
  require(std::isfinite(read->baseline) && std::isfinite(read->onePercent) && std::isfinite(read->noiseSD));
  for (const auto& region : read->regions)
    for (const float effect : region.received) require(std::isfinite(effect));
}

void asPowerPart(const JsonValue& json, const JsonLimits& limits) {
  auto read = powerPartOf(json, "part");
  if (!read) return requirePrintableLine(read.status().message());
  const std::string written = powerPartText(read.value());
  auto again = parseJsonText(written, limits);
  require(again.isOk());
  auto back = powerPartOf(again.value(), "part");
  require(back.isOk() && powerPartText(back.value()) == written);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const JsonLimits limits{"fuzzed file", 1 << 20, 64};
  auto json = parseJsonText(text, limits);
  if (!json) {
    requirePrintableLine(json.status().message());
    return 0;
  }
  // What parses writes out as JSON that parses back to the same value.
  auto again = parseJsonText(json->dump(), limits);
  require(again.isOk() && again.value() == json.value());
  asRecord(json.value());
  asTruth(json.value());
  asPowerPart(json.value(), limits);
  return 0;
}
