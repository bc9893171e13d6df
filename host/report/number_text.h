#pragma once
// Numbers as the report prints them: fixed decimals, a point as the decimal mark
// whatever the locale, and no "-0", so the same run gives the same bytes anywhere.

#include <string>

namespace cohortix::host {

// value with exactly `decimals` digits after the point ("2.50"); "n/a" for NaN,
// "inf" and "-inf" for the infinities.
std::string fixedText(double value, int decimals);

// value with as few decimals as show it to `decimals` places: 2.50 -> "2.5",
// 3.00 -> "3".
std::string shortText(double value, int decimals);

}  // namespace cohortix::host
