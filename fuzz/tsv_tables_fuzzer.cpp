// Feeds arbitrary bytes to the TSV readers as a dataset's participants.tsv, a
// subject's design table and an analysis's maps.tsv. Every input must be read or
// refused with one line "file:line: ..." (or "file lists no participant"); what is
// read keeps its promises: participants are plain folder names, each once, and
// every predictor holds one finite value per row.

#include <cmath>
#include <set>
#include <string>

#include "fuzz/fuzz_input_file.h"
#include "host/analysis/bids_tables.h"
#include "host/formats/tsv_table.h"

namespace {

using cohortix::fuzz::require;
using cohortix::fuzz::requireOneLine;

void participants(const std::string& text) {
  auto read = cohortix::host::parseParticipants(text, "participants.tsv");
  if (!read) return requireOneLine(read.status().message(), "participants.tsv");
  std::set<std::string> seen;
  for (const auto& participant : read.value()) {
    require(participant.id != "." && participant.id != ".." && !participant.id.empty());
    require(participant.id.find('/') == std::string::npos && participant.id.find('\0') == std::string::npos);
    require(seen.insert(participant.id).second);
  }
}

void design(const std::string& text) {
  auto read = cohortix::host::parseDesignTable(text, "design.tsv");
  if (!read) return requireOneLine(read.status().message(), "design.tsv:");
  for (const auto& predictor : read.value()) {
    require(predictor.values.size() == read.value().front().values.size());
    for (const float value : predictor.values) require(std::isfinite(value));
  }
}

void maps(const std::string& text) {
  auto read = cohortix::host::TsvTable::parse(text, "maps.tsv", {"map", "tested_voxels"});
  if (!read) return requireOneLine(read.status().message(), "maps.tsv:");
  for (std::size_t r = 0; r < read->rows(); ++r) {
    require(read->row(r).size() == read->header().size());
    auto count = read->integer(r, "tested_voxels");
    if (!count) requireOneLine(count.status().message(), "maps.tsv:");
    else require(count.value() >= 0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  participants(text);
  design(text);
  maps(text);
  return 0;
}
