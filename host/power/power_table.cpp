#include "host/power/power_table.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "host/export/json_text.h"

namespace cohortix::host {
namespace {

// Four decimals: Monte-Carlo intervals are never narrower than that.
std::string fixed(double value, const char* missing = "NA") {
  if (std::isnan(value)) return missing;
  char text[32];
  std::snprintf(text, sizeof text, "%.4f", value);
  return text;
}

std::vector<std::vector<std::string>> fields(const std::vector<PowerRow>& rows, const char* missing) {
  std::vector<std::vector<std::string>> table;
  for (const PowerRow& row : rows)
    table.push_back({std::to_string(row.subjects), row.scope, row.effect, row.region, row.measure,
                     fixed(row.trueEffect, missing), fixed(row.estimate.value, missing),
                     fixed(row.estimate.low, missing), fixed(row.estimate.high, missing),
                     fixed(row.analytic, missing), std::to_string(row.replicates)});
  return table;
}

const std::vector<std::string> kColumns = {"subjects", "scope",    "effect", "region",
                                           "measure",  "true_effect", "estimate", "ci_low",
                                           "ci_high",  "analytic", "replicates"};

// Tabs and line breaks in a cell's name would break the table's rows.
std::string plain(std::string text) {
  std::replace_if(text.begin(), text.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
  return text;
}

}  // namespace

std::string powerTableTsv(const std::vector<PowerRow>& rows) {
  std::string text;
  for (std::size_t c = 0; c < kColumns.size(); ++c) text += (c ? "\t" : "") + kColumns[c];
  text += '\n';
  for (const auto& row : fields(rows, "NA")) {
    for (std::size_t c = 0; c < row.size(); ++c) text += (c ? "\t" : "") + plain(row[c]);
    text += '\n';
  }
  return text;
}

std::string powerTableJson(const std::vector<PowerRow>& rows) {
  const auto table = fields(rows, "null");
  std::string text = "[\n";
  for (std::size_t r = 0; r < table.size(); ++r) {
    text += "  {";
    for (std::size_t c = 0; c < kColumns.size(); ++c) {
      const bool quoted = c >= 1 && c <= 4;
      text += (c ? ", " : "") + jsonString(kColumns[c]) + ": " + (quoted ? jsonString(table[r][c]) : table[r][c]);
    }
    text += r + 1 < table.size() ? "},\n" : "}\n";
  }
  return text + "]\n";
}

Status writePowerTables(const std::filesystem::path& folder, const std::vector<PowerRow>& rows,
                        DiskInterface& disk) {
  if (Status made = disk.makeDirs(folder); !made) return std::move(made).context("cannot make " + folder.string());
  for (const auto& [name, text] : {std::pair{"power.tsv", powerTableTsv(rows)},
                                   std::pair{"power.json", powerTableJson(rows)}}) {
    const std::filesystem::path path = folder / name;
    const std::string_view bytes = text;
    if (Status written = disk.writeFile(path, {&bytes, 1}); !written)
      return std::move(written).context("cannot write " + path.string());
  }
  return Status::ok();
}

std::string powerTableText(const std::vector<PowerRow>& rows) {
  std::vector<std::vector<std::string>> table = {
      {"subjects", "test", "effect", "region", "measure", "true", "estimate [95% interval]", "analytic"}};
  for (const PowerRow& row : rows) {
    const std::string estimate = std::isnan(row.estimate.value)
                                     ? "-"
                                     : fixed(row.estimate.value) + " [" + fixed(row.estimate.low) + ", " +
                                           fixed(row.estimate.high) + "]";
    table.push_back({std::to_string(row.subjects), row.scope, plain(row.effect), row.region, row.measure,
                     fixed(row.trueEffect, "-"), estimate, fixed(row.analytic, "-")});
  }
  std::vector<std::size_t> widths(table.front().size(), 0);
  for (const auto& row : table)
    for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
  std::string text;
  for (const auto& row : table) {
    std::string line;
    for (std::size_t c = 0; c < row.size(); ++c)
      line += row[c] + (c + 1 < row.size() ? std::string(widths[c] - row[c].size() + 2, ' ') : "");
    text += line + '\n';
  }
  return text;
}

}  // namespace cohortix::host
