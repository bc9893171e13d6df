#pragma once
// Numbers and names as the analysis's tables and sidecars write them: shortest
// round-trip decimals, independent of the locale; what is not a number reads
// "n/a" in a table and null in JSON.

#include <string>
#include <string_view>
#include <vector>

namespace cohortix::host {

std::string tableNumber(double value);
std::string jsonNumber(double value);
std::string jsonNumbers(const std::vector<double>& values);
std::string jsonStrings(const std::vector<std::string>& values);

// A name reduced to what a file name can carry everywhere: ASCII letters, digits
// and '-', the rest dropped ("(Easy - Hard) x (Left - Right)" gives
// "Easy-HardxLeft-Right").
std::string fileLabel(std::string_view name);

// A name made safe as one file name in the output folder: ASCII letters, digits,
// '-', '_' and '.' kept, anything else (a '/' above all) becomes '_', and a name
// that would be empty or start with '.' gets a leading '_'.
std::string safeFileStem(std::string_view name);

}  // namespace cohortix::host
