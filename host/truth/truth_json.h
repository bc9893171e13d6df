#pragma once
// A subject's truth JSON (truth_text.h) read back, by `info` and by the study
// report: checked as JSON by the host's one JSON reader (host/io/json_input.h),
// then as what the host writes there, every field of its type. A file that is not
// is refused whole, with the field named by its JSON Pointer:
// "cannot read S1_G1_Study_truth.json: /Regions/0/CentreVoxel: expected a list of
// 3 whole numbers, found [1,2]".

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "host/io/disk_interface.h"
#include "host/io/json_input.h"
#include "host/io/status.h"

namespace cohortix::host::truth {

// Where a region's centre lies in the run's anatomy, when the run had one.
struct TruthAtlasPlace {
  std::string aal, brodmann, harvardOxford, tissue;
};

struct TruthJsonRegion {
  int64_t region = 0;
  std::array<int32_t, 3> centreVoxel{};
  std::array<double, 3> centreTalairach{};
  int64_t voxelsWritten = 0;
  int64_t voxelsOverwritten = 0;
  std::vector<float> received;  // by cell
  std::optional<TruthAtlasPlace> atlas;
};

struct TruthJson {
  int64_t subject = 0;
  int64_t group = 0;
  std::vector<std::string> cells;
  float baseline = 0, onePercent = 0, noiseSD = 0;
  std::vector<TruthJsonRegion> regions;
};

// The largest truth JSON (20 regions with the effects of 8000 cells of the longest
// names: some 60 MB) and its nesting.
const JsonLimits& truthJsonLimits();

// The truth the parsed JSON holds, or "<pointer>: expected ..., found ...".
Result<TruthJson> truthOfJson(const JsonValue& json);

// The file read and checked: "cannot read FILE: ..." when refused.
Result<TruthJson> readTruthJson(const std::filesystem::path& file, DiskInterface& disk);

}  // namespace cohortix::host::truth
