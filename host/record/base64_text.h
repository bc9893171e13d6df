#pragma once
// Base64 (RFC 4648, with padding), for the record's copies of files whose bytes
// are not UTF-8 text and so cannot be a JSON string as they are.

#include <optional>
#include <string>
#include <string_view>

namespace cohortix::host::record {

std::string base64Of(std::string_view bytes);
// None when the text is not Base64.
std::optional<std::string> bytesOfBase64(std::string_view text);

}  // namespace cohortix::host::record
