// Document services of the host session. Placeholders until the documents land:
// every operation reports failure and hands out no data.

#include "host/host_session.h"

namespace cohortix::host {

bool HostSession::clearProtocol() { return false; }
bool HostSession::getProtocol(ProtocolRecord*) { return false; }
bool HostSession::setProtocol(const ProtocolRecord*) { return false; }
bool HostSession::addProtocolCondition(const ConditionRecord*) { return false; }
bool HostSession::addProtocolConditionInterval(int, int, int) { return false; }
bool HostSession::getProtocolCondition(int, ConditionRecord*) { return false; }
bool HostSession::saveProtocol(const char*) { return false; }
bool HostSession::loadProtocol(const char*) { return false; }
bool HostSession::clearDesignMatrix() { return false; }
bool HostSession::addPredictor(const ConditionRecord*) { return false; }
bool HostSession::setPredictorValuesFromCondition(const ConditionRecord*, int, float) {
  return false;
}
bool HostSession::applyTwoGammaHRFToPredictor(int) { return false; }
float* HostSession::predictor(int) { return nullptr; }
bool HostSession::saveDesignMatrix(const char*) { return false; }
bool HostSession::createVTC(int, const VTCHeader*) { return false; }
bool HostSession::getVTCHeader(VTCHeader*) { return false; }
float* HostSession::vtcData() { return nullptr; }
bool HostSession::saveVTC(const char*) { return false; }

}  // namespace cohortix::host
