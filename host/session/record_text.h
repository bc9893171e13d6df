#pragma once
// Texts in fixed-size record fields: read only up to the field's size, even when
// the plug-in left no NUL; written cut to fit, always NUL-terminated, the rest of
// the field zeroed.

#include <cstddef>
#include <string>

namespace cohortix::host {

template <std::size_t N>
std::string readRecordText(const char (&field)[N]);

std::string readRecordText(const char* field, std::size_t size);
void writeRecordText(char* field, std::size_t size, const std::string& text);

template <std::size_t N>
std::string readRecordText(const char (&field)[N]) {
  return readRecordText(field, N);
}

template <std::size_t N>
void writeRecordText(char (&field)[N], const std::string& text) {
  writeRecordText(field, N, text);
}

}  // namespace cohortix::host
