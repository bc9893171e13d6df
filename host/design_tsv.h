#pragma once
// A subject's design matrix as a table: a header row of predictor names, then one
// row per volume with each predictor's value, as the run used it.

#include <filesystem>
#include <string>
#include <vector>

namespace cohortix::host {

struct PredictorColumn {
  std::string name;
  std::vector<float> values;  // one per volume
};

// Rows run to the longest column; a shorter column's missing cells read "n/a".
std::string designTable(const std::vector<PredictorColumn>& predictors);

void writeDesignTsv(const std::filesystem::path& file,
                    const std::vector<PredictorColumn>& predictors);

}  // namespace cohortix::host
