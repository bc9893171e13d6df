#pragma once
// The exports' text files (TSV tables, BIDS sidecars) and folders, through the
// session's disk, which writes every file whole or not at all.

#include <filesystem>
#include <string_view>

#include "host/io/status.h"

namespace cohortix::host {

class DiskInterface;

// A failure to write file: "cannot write FILE: reason", about that file; ok stays ok.
Status cannotWrite(Status status, const std::filesystem::path& file);

// The whole text as the file; a failure reads "cannot write FILE: reason".
Status writeExportText(DiskInterface& disk, const std::filesystem::path& file,
                       std::string_view text);

// The folder and its missing parents; a failure reads "cannot create FOLDER: reason".
Status makeExportFolder(DiskInterface& disk, const std::filesystem::path& folder);

}  // namespace cohortix::host
