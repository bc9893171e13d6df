#pragma once
// Base64 (RFC 4648, with padding), for the images the report carries inline.

#include <string>
#include <string_view>

namespace cohortix::host {

std::string base64(std::string_view bytes);

}  // namespace cohortix::host
