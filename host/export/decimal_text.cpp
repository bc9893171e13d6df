#include "host/export/decimal_text.h"

#include <charconv>
#include <cstdio>

namespace cohortix::host {

std::string floatText(float value) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

std::string secondsText(double seconds) {
  char text[32];
  const auto result =
      std::to_chars(text, text + sizeof text, seconds, std::chars_format::general, 10);
  std::string written(text, result.ptr);
  return written == "-0" ? "0" : written;
}

std::string roundedText(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

}  // namespace cohortix::host
