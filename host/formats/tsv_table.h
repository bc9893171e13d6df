#pragma once
// A tab-separated table with a header line, as the host reads every TSV file of a
// run, a dataset or an analysis: cells found by column name, every row as wide as
// the header, numbers that are whole numbers in their cells. Messages name the
// file and line: "maps.tsv:3: expected 14 tab-separated fields, found 13".

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "host/io/status.h"

namespace cohortix::host {

class TsvTable {
 public:
  // Blank lines are skipped, a final "\r" dropped; `required` columns must be in
  // the header, and no column may be named twice.
  static Result<TsvTable> parse(const std::string& text, const std::string& file,
                                const std::vector<std::string>& required = {});

  std::size_t rows() const { return rows_.size(); }
  const std::vector<std::string>& header() const { return header_; }
  bool hasColumn(const std::string& column) const { return columns_.count(column) > 0; }
  const std::string& text(std::size_t row, const std::string& column) const {
    return rows_[row][columns_.at(column)];
  }
  const std::vector<std::string>& row(std::size_t row) const { return rows_[row]; }
  // "file:line" of a row, for messages.
  std::string where(std::size_t row) const;

  // A number; "NA" and "n/a" read NaN when allowed.
  Result<double> number(std::size_t row, const std::string& column, bool missingAllowed) const;
  // A number in any column that is finite in single precision.
  Result<float> finiteFloat(std::size_t row, std::size_t column) const;
  // A count: a whole number from 0.
  Result<int64_t> integer(std::size_t row, const std::string& column) const;

 private:
  std::string file_;
  std::vector<std::string> header_;
  std::map<std::string, std::size_t> columns_;
  std::vector<std::vector<std::string>> rows_;
  std::vector<int> lines_;
};

}  // namespace cohortix::host
