#pragma once
// Numbers as the host writes them: plain decimals, independent of the locale.

#include <string>

namespace cohortix::host {

// The shortest text that reads back as exactly this float.
std::string floatText(float value);

// Seconds to ten significant digits, so (volume - 1) x TR prints as 7.5 or 0.3
// rather than with the binary fraction's noise.
std::string secondsText(double seconds);

// Six significant digits, as a person reads a value at a glance in a summary:
// 2.5, 0.333333, 1.5e+06.
std::string roundedText(double value);

}  // namespace cohortix::host
