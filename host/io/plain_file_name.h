#pragma once
// The names the plug-in gives its files. They resolve against the output folder
// and must be plain file names: not empty, not "." or "..", without '/' or '\\'
// (a folder separator on one system or the other) and without control characters.

#include <filesystem>
#include <string>
#include <string_view>

namespace cohortix::host {

// Why name cannot be an output name ("it contains '/'"), or "" when it can.
std::string outputNameProblem(std::string_view name);

std::filesystem::path resolveOutputName(const std::filesystem::path& folder, std::string_view name);

}  // namespace cohortix::host
