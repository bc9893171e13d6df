#include "host/report/number_text.h"

#include <charconv>
#include <cmath>

namespace cohortix::host {

std::string fixedText(double value, int decimals) {
  if (std::isnan(value)) return "n/a";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  char buffer[400];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  std::string text(buffer, result.ptr);
  // A value that rounds to zero prints without its sign.
  if (text.front() == '-' && text.find_first_not_of("-0.") == std::string::npos) text.erase(0, 1);
  return text;
}

std::string shortText(double value, int decimals) {
  std::string text = fixedText(value, decimals);
  if (text.find('.') == std::string::npos || !std::isfinite(value)) return text;
  while (text.back() == '0') text.pop_back();
  if (text.back() == '.') text.pop_back();
  return text;
}

}  // namespace cohortix::host
