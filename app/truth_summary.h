#pragma once
// What `cohortix info` says about the NIfTI images and truth JSON files the host
// writes: dimensions, units and value ranges; a subject's truth at a glance.

#include <filesystem>
#include <optional>
#include <string>

#include "host/io/status.h"

namespace cohortix::host {

class DiskInterface;

// The summary of a .nii, .nii.gz or .json file; nothing for any other kind.
std::optional<Result<std::string>> summariseImageOrTruth(const std::filesystem::path& path,
                                                         DiskInterface& disk);

}  // namespace cohortix::host
