#include "host/io/toml_text.h"

#include <algorithm>
#include <cstdio>

namespace cohortix::host {

std::string tomlAsciiStandIn(std::string_view text) {
  const auto beyond = [](char c) { return static_cast<unsigned char>(c) >= 0x80; };
  if (std::none_of(text.begin(), text.end(), beyond)) return {};
  std::string standIn(text);
  std::replace_if(standIn.begin(), standIn.end(), beyond, '~');
  return standIn;
}

std::string tomlErrorText(std::string_view description) {
  std::string text;
  for (const char c : description) {
    if (c == '\n') {
      text += "\\n";
    } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned char>(c));
      text += escaped;
    } else {
      text += c;
    }
  }
  return text;
}

}  // namespace cohortix::host
