#include "host/analysis/analysis_text.h"

#include <charconv>
#include <cmath>

#include "host/export/json_text.h"

namespace cohortix::host {

std::string tableNumber(double value) {
  if (!std::isfinite(value)) return std::isnan(value) ? "n/a" : (value > 0 ? "inf" : "-inf");
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

std::string jsonNumber(double value) { return std::isfinite(value) ? tableNumber(value) : "null"; }

std::string jsonNumbers(const std::vector<double>& values) {
  std::string text = "[";
  for (std::size_t i = 0; i < values.size(); ++i) text += (i ? ", " : "") + jsonNumber(values[i]);
  return text + "]";
}

std::string jsonStrings(const std::vector<std::string>& values) {
  std::string text = "[";
  for (std::size_t i = 0; i < values.size(); ++i) text += (i ? ", " : "") + jsonString(values[i]);
  return text + "]";
}

std::string fileLabel(std::string_view name) {
  std::string label;
  for (char c : name)
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-')
      label += c;
  return label;
}

}  // namespace cohortix::host

namespace cohortix::host {

std::string safeFileStem(std::string_view name) {
  std::string stem;
  for (char c : name) {
    const bool kept = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                      c == '-' || c == '_' || c == '.';
    stem += kept ? c : '_';
  }
  if (stem.empty() || stem.front() == '.') stem.insert(0, 1, '_');
  return stem;
}

}  // namespace cohortix::host
