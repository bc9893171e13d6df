#include "host/formats/rtc_format.h"

#include <cstdio>
#include <limits>

#include "host/formats/quoted_text.h"
#include "host/formats/text_lines.h"

namespace cohortix::host {
namespace {

constexpr int kDesignMatrixFileVersion = 1;
constexpr long long kMaxCount = std::numeric_limits<int>::max();

void appendValue(float value, std::string& out) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
  out += text;
}

void formatRow(const DesignMatrix& matrix, int volume, std::string& out) {
  const char* separator = "";
  for (const Predictor& predictor : matrix.predictors) {
    out += separator;
    appendValue(predictor.values[volume], out);
    separator = " ";
  }
  out += '\n';
}

void parseRow(TextLines& lines, int volume, DesignMatrix& matrix) {
  const std::vector<std::string_view> tokens =
      splitTokens(lines.next("the values of volume " + std::to_string(volume + 1)));
  if (!lines.ok()) return;
  if (tokens.size() != matrix.predictors.size()) {
    lines.failOnLine(std::to_string(matrix.predictors.size()) + " values for volume " +
                     std::to_string(volume + 1));
    return;
  }
  for (std::size_t p = 0; p < tokens.size(); ++p) {
    float value = 0;
    if (!parseFloat(tokens[p], &value)) {
      lines.fail("a number", describeFound(tokens[p]));
      return;
    }
    matrix.predictors[p].values.push_back(value);
  }
}

}  // namespace

std::string formatDesignMatrix(const DesignMatrix& matrix) {
  std::string out = "# Cohortix design matrix: one column per predictor, one row per volume\n";
  out += "FileVersion: " + std::to_string(kDesignMatrixFileVersion) + "\n";
  out += "NrOfPredictors: " + std::to_string(matrix.predictors.size()) + "\n";
  out += "NrOfVolumes: " + std::to_string(matrix.nrOfVolumes) + "\n";
  for (const Predictor& predictor : matrix.predictors)
    out += "Predictor: " + quoteText(predictor.name) + "\n";
  // A matrix without predictors has no columns, hence no rows either.
  if (!matrix.predictors.empty())
    for (int volume = 0; volume < matrix.nrOfVolumes; ++volume) formatRow(matrix, volume, out);
  return out;
}

Result<DesignMatrix> parseDesignMatrix(std::string_view text, const std::string& fileName) {
  TextLines lines(text, fileName);
  lines.integerField("FileVersion", kDesignMatrixFileVersion, kDesignMatrixFileVersion);
  DesignMatrix matrix;
  const long long count = lines.integerField("NrOfPredictors", 0, kMaxCount);
  matrix.nrOfVolumes = static_cast<int>(lines.integerField("NrOfVolumes", 0, kMaxCount));
  for (long long p = 0; p < count && lines.ok(); ++p)
    matrix.predictors.push_back({lines.textField("Predictor"), {}});
  if (count > 0)
    for (int volume = 0; volume < matrix.nrOfVolumes && lines.ok(); ++volume) parseRow(lines, volume, matrix);
  lines.expectEnd();
  if (!lines.ok()) return lines.status();
  return matrix;
}

}  // namespace cohortix::host
