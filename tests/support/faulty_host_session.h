#pragma once
// A host session that hands the plug-in null instead of the VTC's data or a
// predictor's time course, to drive the plug-in's failure paths.

#include <iosfwd>
#include <memory>

#include "host/session/host_session.h"

namespace cohortix::testing {

enum class HostFault { None, NullVTCData, NullPredictor };

class FaultyHostSession : public host::HostSession {
 public:
  FaultyHostSession(host::SessionOptions options, std::ostream& log, std::ostream& messages,
                    HostFault fault);
};

}  // namespace cohortix::testing
