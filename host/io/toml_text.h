#pragma once
// What the TOML library must not be shown. toml++ 3.3 reaches code it marks
// unreachable (undefined behaviour) when it scans a character beyond ASCII where
// TOML allows only ASCII: anywhere outside a string or a comment. TOML allows '~'
// in strings and comments only, so the text with every byte beyond ASCII as '~'
// parses exactly when every such byte lies in a string or a comment; our TOML
// readers (noise profiles, sweep files) parse that stand-in first, and the text
// itself only when the stand-in parses.

#include <string>
#include <string_view>

namespace cohortix::host {

// Empty when the text is all ASCII (nothing to check first).
std::string tomlAsciiStandIn(std::string_view text);

// The library's description of a syntax error on one line: what it quotes of the
// input may hold line breaks and other control characters, shown as \n, \xNN.
std::string tomlErrorText(std::string_view description);

}  // namespace cohortix::host
