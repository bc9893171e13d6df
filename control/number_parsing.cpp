#include "control/number_parsing.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace cohortix {
namespace {

// from_chars takes no leading '+'; the file may have one before a digit or point.
const char* afterPlus(const std::string& token) {
  const char* first = token.data();
  if (token.size() > 1 && token[0] == '+' && token[1] != '-' && token[1] != '+') ++first;
  return first;
}

NumberParse outcome(std::from_chars_result result, const char* last) {
  if (result.ec == std::errc::result_out_of_range && result.ptr == last)
    return NumberParse::OutOfRange;
  if (result.ec != std::errc() || result.ptr != last) return NumberParse::Malformed;
  return NumberParse::Ok;
}

}  // namespace

NumberParse parseInt32(const std::string& token, int32_t& value) {
  const char* last = token.data() + token.size();
  return outcome(std::from_chars(afterPlus(token), last, value, 10), last);
}

NumberParse parseFloat32(const std::string& token, float& value) {
  const char* last = token.data() + token.size();
  const char* first = afterPlus(token);
  const NumberParse parsed =
      outcome(std::from_chars(first, last, value, std::chars_format::general), last);
  if (parsed == NumberParse::Ok && !std::isfinite(value)) return NumberParse::NotFinite;
  return parsed;
}

}  // namespace cohortix
