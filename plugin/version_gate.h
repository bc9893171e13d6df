#pragma once

namespace cohortix {

// Lexicographic comparison of (major, minor, patch) triples as signed integers:
// true when the actual version is at least the required one.
bool versionAtLeast(int major, int minor, int patch, int requiredMajor, int requiredMinor,
                    int requiredPatch);

}  // namespace cohortix
