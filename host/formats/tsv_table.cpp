#include "host/formats/tsv_table.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "host/formats/text_lines.h"

namespace cohortix::host {
namespace {

std::vector<std::string> cellsOf(const std::string& row) {
  std::vector<std::string> cells;
  for (std::size_t from = 0;;) {
    const std::size_t tab = row.find('\t', from);
    cells.push_back(row.substr(from, tab == std::string::npos ? std::string::npos : tab - from));
    if (tab == std::string::npos) return cells;
    from = tab + 1;
  }
}

// A cell as a message shows it.
std::string found(const std::string& cell) { return cell.empty() ? "an empty field" : describeFound(cell); }

}  // namespace

Result<TsvTable> TsvTable::parse(const std::string& text, const std::string& file,
                                 const std::vector<std::string>& required) {
  TsvTable table;
  table.file_ = file;
  std::size_t start = 0;
  int line = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string row = text.substr(start, end - start);
    if (!row.empty() && row.back() == '\r') row.pop_back();
    start = end + 1;
    ++line;
    if (row.empty()) continue;
    std::vector<std::string> cells = cellsOf(row);
    if (table.header_.empty()) {
      for (std::size_t c = 0; c < cells.size(); ++c)
        if (!table.columns_.emplace(cells[c], c).second)
          return Status::error(file + ":" + std::to_string(line) + ": expected columns of different names, found " +
                               found(cells[c]) + " twice");
      for (const std::string& name : required)
        if (!table.columns_.count(name))
          return Status::error(file + ":" + std::to_string(line) + ": expected a column \"" + name +
                               "\", found the header " + describeFound(row));
      table.header_ = std::move(cells);
      continue;
    }
    if (cells.size() != table.header_.size())
      return Status::error(file + ":" + std::to_string(line) + ": expected " + std::to_string(table.header_.size()) +
                           " tab-separated fields, found " + std::to_string(cells.size()));
    table.rows_.push_back(std::move(cells));
    table.lines_.push_back(line);
  }
  if (table.header_.empty()) return Status::error(file + ":1: expected a header line, found an empty file");
  return table;
}

std::string TsvTable::where(std::size_t row) const { return file_ + ":" + std::to_string(lines_[row]); }

Result<double> TsvTable::number(std::size_t row, const std::string& column, bool missingAllowed) const {
  const std::string& cell = text(row, column);
  if (missingAllowed && (cell == "NA" || cell == "n/a")) return std::numeric_limits<double>::quiet_NaN();
  double value = 0;
  const auto [end, error] = std::from_chars(cell.data(), cell.data() + cell.size(), value);
  if (error != std::errc() || end != cell.data() + cell.size() || cell.empty())
    return Status::error(where(row) + ": expected a number as " + column + ", found " + found(cell));
  return value;
}

Result<float> TsvTable::finiteFloat(std::size_t row, std::size_t column) const {
  const std::string& cell = rows_[row][column];
  double value = 0;
  const auto [end, error] = std::from_chars(cell.data(), cell.data() + cell.size(), value);
  if (error != std::errc() || end != cell.data() + cell.size() || cell.empty() ||
      !(std::fabs(value) <= std::numeric_limits<float>::max()))
    return Status::error(where(row) + ": expected a finite number as " + header_[column] + ", found " + found(cell));
  return static_cast<float>(value);
}

Result<int64_t> TsvTable::integer(std::size_t row, const std::string& column) const {
  const std::string& cell = text(row, column);
  int64_t value = 0;
  const auto [end, error] = std::from_chars(cell.data(), cell.data() + cell.size(), value);
  if (error != std::errc() || end != cell.data() + cell.size() || cell.empty() || value < 0)
    return Status::error(where(row) + ": expected a count as " + column + ", found " + found(cell));
  return value;
}

}  // namespace cohortix::host
