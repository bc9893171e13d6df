#pragma once
// Pieces of the JSON sidecars: strings quoted and escaped, so any experiment,
// factor or level name stays one valid JSON string.

#include <string>
#include <string_view>

namespace cohortix::host {

std::string jsonString(std::string_view text);

}  // namespace cohortix::host
