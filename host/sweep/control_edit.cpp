#include "host/sweep/control_edit.h"

#include <algorithm>

#include "control/token_reader.h"

namespace cohortix::host::sweep {
namespace {

bool hasBlank(const std::string& word) {
  return word.find_first_of(" \t\r\n\v\f") != std::string::npos;
}

// The kind of the item's value at position i; values beyond the base's last one
// (a longer effect table) are of the last one's kind.
TokenSpan::Kind kindAt(const ControlItem& item, std::size_t i) {
  return item.values[std::min(i, item.values.size() - 1)].kind;
}

Result<std::string> rendered(const ItemEdit& edit) {
  const ControlItem& item = *edit.item;
  std::string text;
  std::size_t i = 0;
  for (const std::vector<std::string>& row : edit.rows) {
    if (!text.empty()) text += '\n';
    for (std::size_t w = 0; w < row.size(); ++w, ++i) {
      const std::string& word = row[w];
      if (w > 0) text += ' ';
      if (kindAt(item, i) == TokenSpan::Kind::Quoted) {
        if (word.find('"') != std::string::npos)
          return Status::error("expected a text without double quotes for " + item.name +
                               ", found " + quotedForMessage(word));
        text += '"' + word + '"';
        continue;
      }
      if (word.empty() || hasBlank(word) || word.find('"') != std::string::npos)
        return Status::error("expected one word without blanks or double quotes for value " +
                             std::to_string(i + 1) + " of " + item.name + ", found " +
                             quotedForMessage(word));
      text += word;
    }
  }
  if (i == 0) return Status::error("expected at least one value for " + item.name + ", found none");
  return text;
}

std::size_t wordCount(const ItemEdit& edit) {
  std::size_t count = 0;
  for (const auto& row : edit.rows) count += row.size();
  return count;
}

}  // namespace

Result<EditedText> editItems(const ControlItems& base, const std::vector<ItemEdit>& edits) {
  EditedText result;
  int64_t copied = 0;  // bytes of the base text up to here are in result.text
  int64_t shift = 0;   // how far the edits so far moved the rest of the text
  for (const ControlItem& item : base.items) {
    result.labelOffsets.push_back(item.label.begin + shift);
    const auto edit = std::find_if(edits.begin(), edits.end(),
                                   [&item](const ItemEdit& e) { return e.item == &item; });
    if (edit == edits.end()) {
      result.valueCounts.push_back(item.values.size());
      continue;
    }
    Result<std::string> values = rendered(*edit);
    if (!values) return values.status();
    const int64_t begin = item.values.front().begin;
    const int64_t end = item.values.back().end;
    result.text.append(base.text, copied, begin - copied);
    result.text += values.value();
    copied = end;
    shift += int64_t(values.value().size()) - (end - begin);
    result.valueCounts.push_back(wordCount(*edit));
  }
  result.text.append(base.text, copied);
  return result;
}

Status checkEditedFile(const std::filesystem::path& written, const ControlItems& base,
                       const EditedText& expected) {
  Result<ControlItems> read = readControlItems(written);
  if (!read) return read.status();
  const std::vector<ControlItem>& items = read.value().items;
  for (std::size_t i = 0; i < expected.labelOffsets.size(); ++i) {
    const int64_t where = expected.labelOffsets[i];
    const bool same = i < items.size() && items[i].label.begin == where &&
                      items[i].values.size() == expected.valueCounts[i];
    if (same) continue;
    std::string found = "the reader ending before it";
    // The token that stands there, and what the reader took it for.
    for (const ControlItem& item : items) {
      if (item.label.begin == where) found = "the reader taking it as the label of " + item.name;
      for (const TokenSpan& value : item.values)
        if (value.begin == where) found = "the reader taking it as a value of " + item.name;
    }
    if (i < items.size() && items[i].label.begin == where)
      found = "it read with " + std::to_string(items[i].values.size()) + " values";
    return Status::error(written.string() + ":" + std::to_string(lineAt(expected.text, where)) +
                         ": expected " + base.items[i].name + " here with " +
                         std::to_string(expected.valueCounts[i]) + " values, as in " +
                         base.path.string() + ", found " + found +
                         "; a varied value changes which items follow or how many values "
                         "they hold");
  }
  return Status::ok();
}

}  // namespace cohortix::host::sweep
