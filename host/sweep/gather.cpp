#include "host/sweep/gather.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "host/sweep/design_job.h"

namespace cohortix::host::sweep {
namespace {

constexpr char kPowerTable[] = "power.tsv";

bool powerSweep(const Plan& plan) {
  return !plan.designs.empty() && plan.designs.front().command.size() > 1 &&
         plan.designs.front().command[1] == "power";
}

std::string rowStart(const PlannedDesign& design) {
  std::string text = design.id;
  for (const std::string& value : design.values) text += "\t" + value;
  return text;
}

std::string headerStart(const Plan& plan) {
  std::string text = "design";
  for (const std::string& name : plan.varied) text += "\t" + name;
  return text;
}

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

std::size_t columnsOf(const std::string& line) {
  return static_cast<std::size_t>(std::count(line.begin(), line.end(), '\t')) + 1;
}

// Appends the design's power table rows, all or none; the first table read sets
// the header.
Status addPowerRows(const std::filesystem::path& folder, const PlannedDesign& design,
                    std::string& header, std::string& rows) {
  const std::filesystem::path path = folder / jobFolder(design.id) / "output" / kPowerTable;
  std::ifstream file(path, std::ios::binary);
  if (!file) return Status::error("cannot read " + path.string());
  const std::string text(std::istreambuf_iterator<char>(file), {});
  const std::vector<std::string> lines = linesOf(text);
  if (lines.empty())
    return Status::error(path.string() + ": expected a power table, found nothing");
  if (text.back() != '\n')
    return Status::error(path.string() + ":" + std::to_string(lines.size()) +
                         ": expected a whole line, found the file cut short");
  if (header.empty()) header = lines.front();
  if (lines.front() != header)
    return Status::error(path.string() + ":1: expected the columns of the other designs' tables (" +
                         header + "), found " + lines.front());
  const std::size_t columns = columnsOf(lines.front());
  std::string own;
  for (std::size_t l = 1; l < lines.size(); ++l) {
    if (lines[l].empty()) continue;
    if (columnsOf(lines[l]) != columns)
      return Status::error(path.string() + ":" + std::to_string(l + 1) + ": expected " +
                           std::to_string(columns) + " columns, found " +
                           std::to_string(columnsOf(lines[l])));
    own += rowStart(design) + "\t" + lines[l] + "\n";
  }
  rows += own;
  return Status::ok();
}

std::string summaryRow(const PlannedDesign& design, const DesignSummary& s) {
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.3f", s.seconds);
  return rowStart(design) + "\t" + std::to_string(s.exitStatus) + "\t" +
         std::to_string(s.subjects) + "\t" + std::to_string(s.files) + "\t" +
         std::to_string(s.bytes) + "\t" + seconds + "\n";
}

}  // namespace

Result<GatheredTable> gatherResults(const std::filesystem::path& folder, const Plan& plan,
                                    bool skipBroken) {
  GatheredTable table;
  const bool power = powerSweep(plan);
  std::string powerHeader;
  std::string rows;
  for (const PlannedDesign& design : plan.designs) {
    const DesignState state = designState(folder, design.id);
    if (state == DesignState::Pending) {
      table.missing.push_back(design.id);
      continue;
    }
    if (state == DesignState::Failed) table.failed.push_back(design.id);
    if (power) {
      if (state != DesignState::Complete) continue;
      const std::string headerBefore = powerHeader;
      Status added = addPowerRows(folder, design, powerHeader, rows);
      if (added) continue;
      if (!skipBroken) return std::move(added).context("design " + design.id);
      powerHeader = headerBefore;
      table.broken.push_back(design.id + ": " + added.message());
      continue;
    }
    Result<DesignSummary> summary = readSummary(folder, design.id, state);
    if (!summary) return summary.status();
    rows += summaryRow(design, summary.value());
  }
  if (power) {
    // With no table read yet the header has the design's columns alone.
    table.text = headerStart(plan) + (powerHeader.empty() ? "" : "\t" + powerHeader) + "\n" + rows;
  } else {
    table.text = headerStart(plan) + "\texit_status\tsubjects\tfiles\tbytes\tseconds\n" + rows;
  }
  return table;
}

}  // namespace cohortix::host::sweep
