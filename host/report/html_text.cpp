#include "host/report/html_text.h"

namespace cohortix::host {

std::string htmlText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default:
        if ((byte < 0x20 && c != '\t' && c != '\n') || byte == 0x7F)
          out += "\xEF\xBF\xBD";
        else
          out += c;
    }
  }
  return out;
}

std::string htmlIdFragment(std::string_view text) {
  std::string out;
  for (const char c : text) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    out += plain ? c : '-';
  }
  return out;
}

}  // namespace cohortix::host
