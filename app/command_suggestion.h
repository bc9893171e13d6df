#pragma once
// An unknown subcommand named with the closest known one.

#include <optional>
#include <string>
#include <vector>

namespace cohortix::app {

// The word a user typed where the subcommand belongs, when it is none of `known`:
// the first word that is not an option (nor the value of --plugin).
std::optional<std::string> unknownSubcommand(int argc, char** argv,
                                             const std::vector<std::string>& known);

// "unknown command "chek"; did you mean "check"?" (or the list of commands when
// none is close).
std::string unknownSubcommandMessage(const std::string& typed, const std::vector<std::string>& known);

// Edits (insertions, deletions, substitutions, swaps of neighbours) from a to b.
std::size_t editDistance(const std::string& a, const std::string& b);

}  // namespace cohortix::app
