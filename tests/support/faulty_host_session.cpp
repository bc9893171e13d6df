#include "tests/support/faulty_host_session.h"

namespace cohortix::testing {
namespace {

class NullDataVTCService : public host::VTCService {
 public:
  using VTCService::VTCService;
  float* data() override { return nullptr; }
};

class NullPredictorService : public host::DesignMatrixService {
 public:
  using DesignMatrixService::DesignMatrixService;
  float* predictor(int) override { return nullptr; }
};

}  // namespace

FaultyHostSession::FaultyHostSession(host::SessionOptions options, std::ostream& log,
                                     std::ostream& messages, HostFault fault)
    : HostSession(std::move(options), log, messages) {
  if (fault == HostFault::NullVTCData) replace(std::make_unique<NullDataVTCService>(context()));
  if (fault == HostFault::NullPredictor)
    replace(std::make_unique<NullPredictorService>(context(), protocols()));
}

}  // namespace cohortix::testing
