#pragma once
// A control file with some items given new values, written where the reader found
// the old ones: every other byte of the base file stays as it is.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "host/io/status.h"
#include "host/sweep/control_items.h"

namespace cohortix::host::sweep {

// The new value of one item: rows of words, written one row per line. A word that
// takes the place of a quoted text is the text itself, without quotes.
struct ItemEdit {
  const ControlItem* item = nullptr;
  std::vector<std::vector<std::string>> rows;
};

// The edited file, with where its items should stand for the reader.
struct EditedText {
  std::string text;
  std::vector<int64_t> labelOffsets;  // per item of the base, in order
  std::vector<std::size_t> valueCounts;
};

// Replaces the values of each edited item (at most one edit per item). Fails,
// naming the item, for a word the reader would not take as one token.
Result<EditedText> editItems(const ControlItems& base, const std::vector<ItemEdit>& edits);

// Reads the written file back through the reader: the reader's own message when
// it refuses the file, or a "file:line: expected ..., found ..." message where it
// takes the items elsewhere than the edit put them (a new value that changes how
// many values later items hold).
Status checkEditedFile(const std::filesystem::path& written, const ControlItems& base,
                       const EditedText& expected);

}  // namespace cohortix::host::sweep
