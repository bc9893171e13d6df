#pragma once
// .rtc: our single-study design matrix as plain text: a header naming the
// predictors, then one row per volume with one value per predictor. Values are
// written with nine significant digits, enough to read back every float exactly.
// docs/formats.md describes the layout.

#include <string>
#include <string_view>

#include "host/documents/design_matrix.h"
#include "host/io/status.h"

namespace cohortix::host {

std::string formatDesignMatrix(const DesignMatrix& matrix);

// Fails naming fileName and the line for anything it cannot read.
Result<DesignMatrix> parseDesignMatrix(std::string_view text, const std::string& fileName);

}  // namespace cohortix::host
