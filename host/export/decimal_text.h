#pragma once
// Numbers as the exported tables and sidecars write them: plain decimals,
// independent of the locale.

#include <string>

namespace cohortix::host {

// The shortest text that reads back as exactly this float.
std::string floatText(float value);

// Seconds to ten significant digits, so (volume - 1) x TR prints as 7.5 or 0.3
// rather than with the binary fraction's noise.
std::string secondsText(double seconds);

}  // namespace cohortix::host
