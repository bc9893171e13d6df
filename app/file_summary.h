#pragma once
// What `cohortix info` says about our files: a few lines a person can read at a
// glance.

#include <filesystem>
#include <string>

#include "host/documents/design_matrix.h"
#include "host/documents/protocol_document.h"
#include "host/formats/vtc_format.h"
#include "host/io/status.h"

namespace cohortix::host {

class DiskInterface;

std::string summariseProtocol(const std::string& name, const ProtocolDocument& protocol);
std::string summariseDesignMatrix(const std::string& name, const DesignMatrix& matrix);
std::string summariseVTC(const std::string& name, const VTCFile& vtc);

// Reads the file, tells its kind by its extension (.prt, .rtc, .vtc, .nii,
// .nii.gz, a truth .json) and
// summarises it; fails for a file it cannot read or does not know.
Result<std::string> summariseFile(const std::filesystem::path& path, DiskInterface& disk);

}  // namespace cohortix::host
