#pragma once
// .prt: our stimulation protocol as plain text a person can read, which loads back
// exactly (same conditions in the same order, names, colours, intervals).
// docs/formats.md describes the layout.

#include <string>
#include <string_view>

#include "host/documents/protocol_document.h"
#include "host/io/status.h"

namespace cohortix::host {

std::string formatProtocol(const ProtocolDocument& protocol);

// Fails naming fileName and the line for anything it cannot read.
Result<ProtocolDocument> parseProtocol(std::string_view text, const std::string& fileName);

}  // namespace cohortix::host
