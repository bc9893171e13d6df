#pragma once
// Text from a study (names, the control file) placed in the report's HTML and SVG:
// escaped so that no name can open a tag or end an attribute.

#include <string>
#include <string_view>

namespace cohortix::host {

// &, <, >, " and ' as character references; control bytes other than tab and line
// break as U+FFFD, which HTML does not allow as they are.
std::string htmlText(std::string_view text);

// The text as an id or class fragment: ASCII letters and digits kept, every other
// byte as '-'.
std::string htmlIdFragment(std::string_view text);

}  // namespace cohortix::host
