#include "host/formats/quoted_text.h"

#include <cstdio>

namespace cohortix::host {
namespace {

bool isControlByte(unsigned char c) { return c < 0x20 || c == 0x7F; }

int hexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads the escape at in[i] (just after the backslash); returns the length it took.
std::size_t readEscape(std::string_view in, std::size_t i, std::string* text) {
  if (i >= in.size()) return 0;
  if (in[i] == '"' || in[i] == '\\') {
    text->push_back(in[i]);
    return 1;
  }
  if (in[i] != 'x' || i + 2 >= in.size()) return 0;
  const int high = hexDigitValue(in[i + 1]);
  const int low = hexDigitValue(in[i + 2]);
  if (high < 0 || low < 0) return 0;
  text->push_back(static_cast<char>(high * 16 + low));
  return 3;
}

}  // namespace

std::string quoteText(std::string_view text) {
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (isControlByte(static_cast<unsigned char>(c))) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned char>(c));
      quoted += escape;
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
}

bool unquoteText(std::string_view& in, std::string* text, std::string* problem) {
  if (in.empty() || in[0] != '"') {
    *problem = "an opening double quote";
    return false;
  }
  std::string value;
  for (std::size_t i = 1; i < in.size(); ++i) {
    if (in[i] == '"') {
      *text = std::move(value);
      in.remove_prefix(i + 1);
      return true;
    }
    if (in[i] != '\\') {
      value.push_back(in[i]);
      continue;
    }
    const std::size_t length = readEscape(in, i + 1, &value);
    if (length == 0) {
      *problem = "an escape \\\", \\\\ or \\xHH after the backslash";
      return false;
    }
    i += length;
  }
  *problem = "a closing double quote";
  return false;
}

}  // namespace cohortix::host
