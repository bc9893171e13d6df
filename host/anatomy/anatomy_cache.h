#pragma once
// The anatomy a run derives from its sources, kept between runs: a 4-D uint8
// NIfTI image (head, brain, CSF, grey, white, AAL, Brodmann, Harvard-Oxford) in
// the user's cache folder ($XDG_CACHE_HOME, else ~/.cache, then cohortix/anatomy),
// named by a CRC-64 of the sources' bytes, so a run pays the resampling once. A
// cache that cannot be read or written is passed over: the anatomy is derived
// again.

#include <filesystem>
#include <optional>

#include "host/anatomy/anatomy.h"

namespace cohortix::host::anatomy {

// The anatomy of these sources, from the cache when it holds it, otherwise built
// and then kept there; `cached` says which.
Result<Anatomy> cachedAnatomy(const AnatomySources& sources, bool* cached = nullptr);

// Where the cache of these sources lies; none when no cache folder can be named.
std::optional<std::filesystem::path> cacheFileOf(const AnatomySources& sources);

}  // namespace cohortix::host::anatomy
