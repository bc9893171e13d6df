#pragma once
// The exports (NIfTI volumes, TSV tables, BIDS sidecars) reach their final names
// only complete: each is written under a temporary name in its final folder and
// renamed into place, so a reader never sees half a file under a final name.

#include <filesystem>
#include <functional>
#include <string_view>

namespace cohortix::host {

// Calls write with a temporary path beside `file` that keeps every extension of
// `file` (libraries that pick a format from the name see the final one), then
// flushes it to disk and renames it to `file`. When write throws, or the flush or
// rename fails, the temporary file is removed and the error passes on as
// "cannot write FILE: reason".
void writeExportFile(const std::filesystem::path& file,
                     const std::function<void(const std::filesystem::path&)>& write);

// writeExportFile for a file whose whole content is text.
void writeExportText(const std::filesystem::path& file, std::string_view text);

}  // namespace cohortix::host
