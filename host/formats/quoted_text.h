#pragma once
// Texts of our plain-text files (names of conditions and predictors, file and
// experiment names) stand between double quotes. Inside the quotes a backslash
// escapes a double quote or a backslash, and every control byte is written as
// \xHH, so a name of any bytes but NUL stays on one line and loads back exactly.

#include <string>
#include <string_view>

namespace cohortix::host {

std::string quoteText(std::string_view text);

// Reads a quoted text at the start of `in`; on success stores it in *text, removes
// it (and nothing after it) from `in` and returns true. On failure leaves `in` as it
// was and says in *problem what was wrong ("a closing double quote").
bool unquoteText(std::string_view& in, std::string* text, std::string* problem);

}  // namespace cohortix::host
