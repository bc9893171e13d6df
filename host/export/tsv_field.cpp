#include "host/export/tsv_field.h"

#include <algorithm>

namespace cohortix::host {

std::string tsvField(std::string text) {
  if (text.empty()) return "n/a";
  std::replace_if(
      text.begin(), text.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
  return text;
}

}  // namespace cohortix::host
