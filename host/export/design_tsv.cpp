#include "host/export/design_tsv.h"

#include <algorithm>

#include "host/export/decimal_text.h"
#include "host/export/export_file.h"
#include "host/export/tsv_field.h"

namespace cohortix::host {
namespace {

std::size_t rowCount(const std::vector<Predictor>& predictors) {
  std::size_t rows = 0;
  for (const Predictor& predictor : predictors)
    rows = std::max(rows, predictor.values.size());
  return rows;
}

std::string cell(const Predictor& predictor, std::size_t row) {
  return row < predictor.values.size() ? floatText(predictor.values[row]) : "n/a";
}

void appendRow(std::string& text, const std::vector<std::string>& cells) {
  for (std::size_t i = 0; i < cells.size(); ++i) text += (i == 0 ? "" : "\t") + cells[i];
  text += '\n';
}

}  // namespace

std::string designTable(const std::vector<Predictor>& predictors) {
  std::string text;
  std::vector<std::string> cells;
  for (const Predictor& predictor : predictors) cells.push_back(tsvField(predictor.name));
  appendRow(text, cells);
  for (std::size_t row = 0; row < rowCount(predictors); ++row) {
    cells.clear();
    for (const Predictor& predictor : predictors) cells.push_back(cell(predictor, row));
    appendRow(text, cells);
  }
  return text;
}

Status writeDesignTsv(DiskInterface& disk, const std::filesystem::path& file,
                    const std::vector<Predictor>& predictors) {
  return writeExportText(disk, file, designTable(predictors));
}

}  // namespace cohortix::host
