#include "host/session/design_matrix_service.h"

#include "host/documents/two_gamma_hrf.h"
#include "host/formats/rtc_format.h"
#include "host/session/host_reporter.h"
#include "host/session/output_files.h"
#include "host/session/output_path.h"
#include "host/session/protocol_service.h"
#include "host/session/record_pattern.h"
#include "host/session/record_text.h"

namespace cohortix::host {

DesignMatrixService::DesignMatrixService(ServiceContext& context, const ProtocolService& protocols)
    : context_(context),
      protocols_(protocols),
      hrfKernel_(twoGammaKernel(context.options.repetitionTime)) {}

Status DesignMatrixService::predictorExists(const char* call, int predictor) const {
  const auto count = static_cast<int>(current().predictors.size());
  if (predictor >= 0 && predictor < count) return Status::ok();
  return Status::error(std::string(call) + ": there is no predictor " + std::to_string(predictor) +
                       " (the design matrix has " + std::to_string(count) + " predictors)");
}

int DesignMatrixService::length() const {
  const VTCDocument* vtc = context_.documents.vtc.get();
  return vtc != nullptr ? vtc->nrOfVolumes() : protocols_.current().extent();
}

bool DesignMatrixService::clear() {
  matrix() = DesignMatrix{};
  return true;
}

bool DesignMatrixService::addPredictor(const ConditionRecord* record) {
  if (const Status back = checkRecordCameBack("ktAddPredictor", record, kConditionHostRegion,
                                              "condition record", true);
      !back)
    return context_.reporter.refuse(back);
  if (matrix().predictors.empty()) matrix().nrOfVolumes = length();
  Predictor predictor{readRecordText(record->ConditionName), {}};
  // Never empty storage, so even a run of no volumes gets a time course address.
  predictor.values.reserve(1);
  predictor.values.assign(static_cast<std::size_t>(matrix().nrOfVolumes), 0.0f);
  matrix().predictors.push_back(std::move(predictor));
  return true;
}

bool DesignMatrixService::setValuesFromCondition(const ConditionRecord* record, int condition,
                                                 float value) {
  constexpr const char* kCall = "ktSetPredictorValuesFromCondition";
  if (const Status back = checkRecordCameBack(kCall, record, kConditionHostRegion, "condition record", true);
      !back)
    return context_.reporter.refuse(back);
  const Result<const ProtocolCondition*> source = protocols_.condition(kCall, condition);
  if (!source) return context_.reporter.refuse(source.status());
  // The record names the predictor: the latest one of that name, normally the one
  // just added.
  const std::string name = readRecordText(record->ConditionName);
  for (auto p = matrix().predictors.rbegin(); p != matrix().predictors.rend(); ++p) {
    if (p->name != name) continue;
    setValuesFromIntervals(p->values, source.value()->intervals, value);
    return true;
  }
  return context_.reporter.refuse(std::string(kCall) + ": there is no predictor named \"" + name + "\"");
}

bool DesignMatrixService::applyTwoGammaHRF(int predictor) {
  if (const Status exists = predictorExists("ktApplyTwoGammaHRFToPredictor", predictor); !exists)
    return context_.reporter.refuse(exists);
  convolveInPlace(matrix().predictors[static_cast<std::size_t>(predictor)].values, hrfKernel_);
  return true;
}

float* DesignMatrixService::predictor(int predictor) {
  if (const Status exists = predictorExists("ktGetPredictor", predictor); !exists) {
    context_.reporter.refuse(exists);
    return nullptr;
  }
  return matrix().predictors[static_cast<std::size_t>(predictor)].values.data();
}

// A design matrix built from a protocol that could not be saved is not written:
// beside it, under the protocol's name, is a file that is not its protocol.
bool DesignMatrixService::save(const char* fileName) {
  constexpr const char* kCall = "ktSaveSingleStudyGLMDesignMatrix";
  if (const Status name = OutputFiles::checkName(kCall, fileName); !name) {
    context_.files.noteNotWritten(fileName == nullptr ? "(no name)" : fileName, name);
    return false;
  }
  const Result<SelectedFile> target = context_.output.selected(fileName);
  if (target && !target.value().kept) return true;  // a subject the run skips: nothing is written
  const std::string name = target ? target.value().name : std::string(fileName);
  bool written = false;
  if (!target) {
    context_.files.noteNotWritten(name, target.status().context("cannot write " + name));
  } else if (const std::string& unsavedProtocol = context_.output.unsavedProtocol();
             !unsavedProtocol.empty()) {
    context_.files.noteNotWritten(name, builtFromUnsavedProtocol(unsavedProtocol)
                                            .context("cannot write " + name));
  } else {
    const std::string text = formatDesignMatrix(current());
    const std::string_view parts[] = {text};
    written = context_.files.write(kCall, name.c_str(), parts);
  }
  context_.output.designMatrixSaved(name, current());
  return written;
}

}  // namespace cohortix::host
