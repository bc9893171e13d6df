#pragma once
// What the control file reader says of a control file's text, read in memory
// rather than from a file of the user's: the line it stopped at and the rest of
// its message, so a caller can say where the text came from instead.

#include <optional>
#include <string>

#include "host/io/status.h"

namespace cohortix::host::sweep {

struct ControlRefusal {
  int line = 0;         // 0: the message names no line
  std::string message;  // "expected ..., found ...", without the file and line
};

// Nothing when the reader takes the text.
Result<std::optional<ControlRefusal>> controlRefusal(const std::string& text);

}  // namespace cohortix::host::sweep
