#pragma once
// Whole tokens as the numbers a control file holds: a 32-bit signed integer
// (optional sign, digits only) or a 32-bit float (optional sign, fraction and
// exponent). Nothing may follow the number inside the token.

#include <cstdint>
#include <string>

namespace cohortix {

enum class NumberParse { Ok, Malformed, OutOfRange, NotFinite };

NumberParse parseInt32(const std::string& token, int32_t& value);
NumberParse parseFloat32(const std::string& token, float& value);

}  // namespace cohortix
