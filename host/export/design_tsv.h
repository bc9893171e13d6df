#pragma once
// A subject's design matrix as a table: a header row of predictor names, then one
// row per volume with each predictor's value, as the run used it.

#include <filesystem>
#include <string>
#include <vector>

#include "host/io/status.h"
#include "host/documents/design_matrix.h"

namespace cohortix::host {

class DiskInterface;

// Rows run to the longest column; a shorter column's missing cells read "n/a".
std::string designTable(const std::vector<Predictor>& predictors);

Status writeDesignTsv(DiskInterface& disk, const std::filesystem::path& file,
                    const std::vector<Predictor>& predictors);

}  // namespace cohortix::host
