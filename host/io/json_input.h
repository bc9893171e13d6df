#pragma once
// The one way the host reads a JSON file it may not have written, or that may have
// been damaged since (a run's record, a subject's truth): nlohmann's parser, with
// what it lets through refused as well. A file is refused whole, with one line
// naming it and the fault, when it is not a regular file, when it is larger than
// any file of its kind, when it is not JSON (the line and column where the parser
// stopped: bytes that are not UTF-8, a number beyond a double, text after the
// value), when one object holds a key twice (which value would count?), or when
// its objects and lists nest deeper than a limit.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "host/io/disk_interface.h"
#include "host/io/status.h"

namespace cohortix::host {

// Objects keep their keys in the file's order.
using JsonValue = nlohmann::ordered_json;

struct JsonLimits {
  std::string kind;    // what the file claims to be, for the message: "run record"
  uint64_t bytes = 0;  // the largest file of that kind
  int depth = 64;      // objects and lists one within another
};

// A NIfTI image's JSON sidecar, ours or another package's: a few kilobytes.
const JsonLimits& sidecarJsonLimits();

// The text as JSON, or the fault: "line 3, column 14: ...", "the object at
// /Regions/0 holds the key \"Effects\" twice", ...
Result<JsonValue> parseJsonText(std::string_view text, const JsonLimits& limits);

// The file as JSON, or "cannot read FILE: <fault>". Its size is checked before it
// is read.
Result<JsonValue> readJsonFile(const std::filesystem::path& file, DiskInterface& disk,
                               const JsonLimits& limits);

}  // namespace cohortix::host
