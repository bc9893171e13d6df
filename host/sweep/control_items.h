#pragma once
// The items of a control file under their customary labels ("SubjectsPerGroup",
// "Center2", "Region1"), with where the reader found each item's tokens. The
// positions come from the control file reader itself: the labels in a file are
// arbitrary words, so only the reader's reading says which token is which.

#include <filesystem>
#include <string>
#include <vector>

#include "control/simulation_design.h"
#include "control/token_spans.h"
#include "host/io/status.h"

namespace cohortix::host::sweep {

struct ControlItem {
  std::string name;  // customary label, numbered where items repeat
  TokenSpan label;
  std::vector<TokenSpan> values;  // at least one
};

struct ControlItems {
  std::filesystem::path path;
  std::string text;                // the file's bytes
  std::vector<ControlItem> items;  // in file order

  // The item of that name, or of that name + "1" when it is the only one of its
  // kind ("Center" for "Center1" in a study with one region); null when none.
  const ControlItem* find(const std::string& name) const;
  // "Version, WithinFactors, ..." for messages.
  std::string names() const;
};

// The customary labels of the design's items in the order the reader takes them,
// as in the documented example: the same walk over the counts the reader makes,
// so it also names the items of a file the reader stopped in, up to that point.
std::vector<std::string> customaryItemNames(const SimulationDesign& design);

// Reads the file through the control file reader. A file the reader refuses gives
// the reader's own message ("file:line: expected ..., found ...").
Result<ControlItems> readControlItems(const std::filesystem::path& path);

// The line (1-based) of a byte offset in text.
int lineAt(const std::string& text, int64_t offset);

}  // namespace cohortix::host::sweep
