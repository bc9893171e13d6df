#include "simulation/protocol_step.h"

#include <cstring>
#include <vector>

#include "control/cell_index.h"
#include "control/condition_names.h"
#include "control/supported_design.h"
#include "simulation/host_function_table.h"
#include "simulation/run_failure.h"
#include "simulation/run_texts.h"
#include "simulation/trial_order.h"

namespace cohortix {
namespace {

// The condition of the rest periods, condition 0 when the design has them: grey
// 100, 100, 100.
constexpr char kBaselineConditionName[] = "Baseline";
constexpr int32_t kBaselineColor = 100 * 65536 + 100 * 256 + 100;

// Copies text into a record's text field of the given size, always terminated.
template <std::size_t Size>
void copyText(char (&field)[Size], const char* text) {
  std::strncpy(field, text, Size - 1);
  field[Size - 1] = '\0';
}

// Only the documented header fields are ours; every other byte of the record goes
// back to the host as the host filled it.
void setProtocolHeader(const SimulationDesign& design, const std::string& fileName) {
  const HostFunctionTable& host = hostFunctions();
  host.ktClearProtocol();
  ProtocolRecord record{};
  host.ktGetProtocol(&record);
  record.TimeResolution = 1;
  copyText(record.ExperimentName, design.ExperimentName);
  copyText(record.FileName, fileName.c_str());
  host.ktSetProtocol(&record);
}

void addCondition(const std::string& name, int32_t color) {
  ConditionRecord record{};
  copyText(record.ConditionName, name.c_str());
  record.Color = color;
  hostFunctions().ktAddProtocolCondition(&record);
}

void addCellConditions(const SimulationDesign& design) {
  for (int32_t cell = 0; cell < design.NrOfWithinCells; ++cell)
    addCondition(conditionName(design, cell), packedCellColor(design, cell));
}

// Lays out the run from the first volume after the pre-volumes: with rest periods
// a rest before the first trial and after every trial, the trials in drawn order.
void addIntervals(const SimulationDesign& design) {
  const HostFunctionTable& host = hostFunctions();
  const std::vector<int32_t> order = drawTrialOrder(design);
  int32_t t = design.NrOfPreVolumes;
  auto addInterval = [&](int32_t condition, int32_t duration) {
    host.ktAddProtocolConditionInterval(condition, t + 1, t + duration);
    t += duration;
  };
  if (design.HasRestPeriods) addInterval(0, design.RestDuration);
  for (const int32_t cell : order) {
    addInterval(cell + FirstTrialCondition(design), design.TrialDuration);
    if (design.HasRestPeriods) addInterval(0, design.RestDuration);
  }
}

}  // namespace

bool buildSubjectProtocol(const SimulationDesign& design, const std::string& fileName) {
  setProtocolHeader(design, fileName);
  if (design.HasRestPeriods) addCondition(kBaselineConditionName, kBaselineColor);
  if (!supportedDesign(design)) {
    stopBusyAndShow(texts::kUnsupportedDesign);
    return false;
  }
  addCellConditions(design);
  addIntervals(design);
  hostFunctions().ktSaveProtocol(fileName.c_str());
  hostFunctions().ktLoadProtocol(fileName.c_str());
  return true;
}

}  // namespace cohortix
