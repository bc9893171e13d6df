#include "simulation/design_matrix_step.h"

#include "control/cell_index.h"
#include "simulation/host_function_table.h"

namespace cohortix {
namespace {

int32_t conditionsOfCurrentProtocol() {
  ProtocolRecord record{};
  hostFunctions().ktGetProtocol(&record);
  return record.NrOfConditions;
}

// The record the host fills with the condition goes back to it unchanged, naming
// the predictor.
void addPredictorOfCondition(ConditionRecord& record, int32_t condition, int32_t predictor) {
  const HostFunctionTable& host = hostFunctions();
  host.ktGetProtocolCondition(condition, &record);
  host.ktAddPredictor(&record);
  host.ktSetPredictorValuesFromCondition(&record, condition, 1.0f);
  host.ktApplyTwoGammaHRFToPredictor(predictor);
}

}  // namespace

int32_t buildSubjectDesignMatrix(const SimulationDesign& design, const std::string& fileName) {
  const int32_t conditions = conditionsOfCurrentProtocol();
  const int32_t first = FirstTrialCondition(design);
  hostFunctions().ktClearDesignMatrix();
  ConditionRecord record{};
  for (int32_t condition = first; condition < conditions; ++condition)
    addPredictorOfCondition(record, condition, condition - first);
  hostFunctions().ktSaveSingleStudyGLMDesignMatrix(fileName.c_str());
  return conditions - first;
}

}  // namespace cohortix
