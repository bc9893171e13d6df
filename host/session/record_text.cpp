#include "host/session/record_text.h"

#include <algorithm>
#include <cstring>

namespace cohortix::host {

std::string readRecordText(const char* field, std::size_t size) {
  return std::string(field, ::strnlen(field, size));
}

void writeRecordText(char* field, std::size_t size, const std::string& text) {
  const std::size_t length = std::min(text.size(), size - 1);
  std::memcpy(field, text.data(), length);
  std::memset(field + length, 0, size - length);
}

}  // namespace cohortix::host
