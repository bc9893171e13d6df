// The host's single-study design matrix, as the plug-in reaches it through the
// predictor functions.

#include "host/session/host_session.h"
#include "host/export/study_exports.h"
#include "host/session/record_text.h"
#include "host/formats/rtc_format.h"
#include "host/documents/two_gamma_hrf.h"

namespace cohortix::host {

bool HostSession::predictorExists(const char* call, int predictor) {
  const auto count = static_cast<int>(designMatrix_.predictors.size());
  if (predictor >= 0 && predictor < count) return true;
  return refuse(std::string(call) + ": there is no predictor " + std::to_string(predictor) +
                " (the design matrix has " + std::to_string(count) + " predictors)");
}

int HostSession::designMatrixLength() const {
  return vtc_ != nullptr ? vtc_->nrOfVolumes() : protocol_.extent();
}

bool HostSession::clearDesignMatrix() {
  designMatrix_ = DesignMatrix{};
  return true;
}

bool HostSession::addPredictor(const ConditionRecord* record) {
  if (!recordCameBack("ktAddPredictor", record, kConditionHostRegion, "condition record", true))
    return false;
  if (designMatrix_.predictors.empty()) designMatrix_.nrOfVolumes = designMatrixLength();
  Predictor predictor{readRecordText(record->ConditionName), {}};
  // Never empty storage, so even a run of no volumes gets a time course address.
  predictor.values.reserve(1);
  predictor.values.assign(static_cast<std::size_t>(designMatrix_.nrOfVolumes), 0.0f);
  designMatrix_.predictors.push_back(std::move(predictor));
  return true;
}

bool HostSession::setPredictorValuesFromCondition(const ConditionRecord* record, int condition,
                                                  float value) {
  constexpr const char* kCall = "ktSetPredictorValuesFromCondition";
  if (!recordCameBack(kCall, record, kConditionHostRegion, "condition record", true) ||
      !conditionExists(kCall, condition))
    return false;
  // The record names the predictor: the latest one of that name, normally the one
  // just added.
  const std::string name = readRecordText(record->ConditionName);
  for (auto p = designMatrix_.predictors.rbegin(); p != designMatrix_.predictors.rend(); ++p) {
    if (p->name != name) continue;
    setValuesFromIntervals(p->values, protocol_.conditions[static_cast<std::size_t>(condition)].intervals,
                           value);
    return true;
  }
  return refuse(std::string(kCall) + ": there is no predictor named \"" + name + "\"");
}

bool HostSession::applyTwoGammaHRFToPredictor(int predictor) {
  if (!predictorExists("ktApplyTwoGammaHRFToPredictor", predictor)) return false;
  convolveInPlace(designMatrix_.predictors[static_cast<std::size_t>(predictor)].values, hrfKernel_);
  return true;
}

float* HostSession::predictor(int predictor) {
  if (!predictorExists("ktGetPredictor", predictor)) return nullptr;
  if (options_.faultInjectionNullPredictor) return nullptr;
  return designMatrix_.predictors[static_cast<std::size_t>(predictor)].values.data();
}

bool HostSession::saveDesignMatrix(const char* fileName) {
  const std::string text = formatDesignMatrix(designMatrix_);
  const std::string_view parts[] = {text};
  if (!writeOutput("ktSaveSingleStudyGLMDesignMatrix", fileName, parts)) return false;
  exportSaved(fileName, [this, fileName](StudyExports& exports) {
    exports.designMatrixSaved(fileName, designMatrix_);
  });
  return true;
}

}  // namespace cohortix::host
