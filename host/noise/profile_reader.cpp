#include "host/noise/profile_reader.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>

namespace cohortix::host::noise {

Result<toml::table> parseProfileToml(std::string_view text, const std::string& name) {
  try {
    if (const std::string standIn = tomlAsciiStandIn(text); !standIn.empty())
      static_cast<void>(toml::parse(standIn, name));
    return toml::parse(text, name);
  } catch (const toml::parse_error& error) {
    std::string description = tomlErrorText(error.description());
    if (!description.empty()) description[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(description[0])));
    return Status::error(name + ":" + std::to_string(error.source().begin.line) +
                         ": expected TOML, found a syntax error: " + description);
  }
}

Result<std::string> readProfileText(const std::filesystem::path& file, const std::string& what) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return Status::error(file.string() + ": cannot read " + what + ": " + std::strerror(errno));
  std::ostringstream contents;
  contents << in.rdbuf();
  if (in.bad()) return Status::error(file.string() + ": cannot read " + what);
  return contents.str();
}

}  // namespace cohortix::host::noise
