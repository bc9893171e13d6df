#include "host/io/plain_file_name.h"

#include <cstdio>

namespace cohortix::host {
namespace {

bool isControlByte(unsigned char c) { return c < 0x20 || c == 0x7F; }

std::string controlByteProblem(unsigned char c) {
  char text[64];
  std::snprintf(text, sizeof text, "it contains the control character 0x%02X", c);
  return text;
}

}  // namespace

std::string outputNameProblem(std::string_view name) {
  if (name.empty()) return "it is empty";
  if (name == "." || name == "..") return "it names a folder, not a file";
  for (const char c : name) {
    if (c == '/' || c == '\\') return std::string("it contains '") + c + "'";
    if (isControlByte(static_cast<unsigned char>(c))) return controlByteProblem(static_cast<unsigned char>(c));
  }
  return {};
}

std::filesystem::path resolveOutputName(const std::filesystem::path& folder, std::string_view name) {
  return folder / std::filesystem::path(std::string(name));
}

}  // namespace cohortix::host
