#include "host/export/json_text.h"

#include <cstdio>

namespace cohortix::host {
namespace {

std::string escapeOf(char c) {
  switch (c) {
    case '"': return "\\\"";
    case '\\': return "\\\\";
    case '\n': return "\\n";
    case '\r': return "\\r";
    case '\t': return "\\t";
    default: break;
  }
  char code[8];
  std::snprintf(code, sizeof code, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
  return code;
}

}  // namespace

std::string jsonString(std::string_view text) {
  std::string quoted = "\"";
  for (const char c : text) {
    const bool plain = static_cast<unsigned char>(c) >= 0x20 && c != '"' && c != '\\';
    quoted += plain ? std::string(1, c) : escapeOf(c);
  }
  return quoted + '"';
}

}  // namespace cohortix::host
