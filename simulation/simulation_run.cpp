#include "simulation/simulation_run.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>
#include <string>

#include "control/cell_index.h"
#include "control/control_file_reader.h"
#include "control/derived_counts.h"
#include "control/output_names.h"
#include "simulation/host_function_table.h"
#include "simulation/design_matrix_step.h"
#include "simulation/protocol_step.h"
#include "simulation/run_texts.h"
#include "simulation/simulated_vtc.h"

namespace cohortix {
namespace {

// What one subject's steps share: the design, the run's VTC, the response buffer
// and the generator state that runs on from subject to subject.
struct RunState {
  const SimulationDesign& Design;
  const SimulatedVTC& VTC;
  float* Response;
  int32_t RandomSeed;
};

template <typename... Values>
void logFormatted(const char* format, Values... values) {
  char line[256];
  std::snprintf(line, sizeof line, format, values...);
  hostFunctions().ktLogText(line);
}

bool hostHasTalairachVMR() {
  int dimX = 0, dimY = 0, dimZ = 0;
  if (hostFunctions().ktGetCurrentVMR(&dimX, &dimY, &dimZ) == nullptr) {
    hostFunctions().ktMessageBox(texts::kNoVMR);
    return false;
  }
  if (dimX != 256 || dimY != 256 || dimZ != 256) {
    hostFunctions().ktMessageBox(texts::kWrongVMRDims);
    return false;
  }
  return true;
}

// The reader's refusal is the one message the user sees of a file the run cannot
// take.
bool readControlFile(const char* path, SimulationDesign& design) {
  std::string message;
  if (parseControlFile(path, design, message)) return true;
  hostFunctions().ktMessageBox(message.c_str());
  return false;
}

bool chooseControlFile(char (&path)[kFileNameBufferSize]) {
  return hostFunctions().ktGetOpenFileName(texts::kOpenFilePrompt, "", texts::kOpenFileFilter,
                                           path) != 0;
}

// One float per volume; sized for the longer of the design's run and the VTC's
// time courses, should a host report another count than it was asked for.
std::unique_ptr<float[]> allocateResponse(const SimulationDesign& design,
                                          const SimulatedVTC& vtc) {
  const int32_t volumes = std::max({design.NrOfVolumes, vtc.Header.NrOfVolumes, 1});
  return std::unique_ptr<float[]>(new (std::nothrow) float[static_cast<std::size_t>(volumes)]);
}

bool simulateSubject(RunState& run, int32_t g, int32_t s) {
  const SimulationDesign& design = run.Design;
  logFormatted(texts::kSubjectFormat, subjectNumber(design, g, s));
  if (!buildSubjectProtocol(design, outputFileName(design, g, s, kProtocolExtension)))
    return false;
  const int32_t predictors =
      buildSubjectDesignMatrix(design, outputFileName(design, g, s, kDesignMatrixExtension));
  if (!simulateSubjectVTC(run.VTC, design, g, s, predictors, run.Response, run.RandomSeed))
    return false;
  const std::string vtcName = outputFileName(design, g, s, kVolumeTimeCourseExtension);
  hostFunctions().ktSaveVTCOfCurrentVMR(vtcName.c_str());
  return true;
}

bool simulateAllSubjects(RunState& run) {
  for (int32_t g = 0; g < run.Design.NrOfGroups; ++g)
    for (int32_t s = 0; s < run.Design.NrOfSubjectsPerGroup; ++s)
      if (!simulateSubject(run, g, s)) return false;
  return true;
}

// From the VTC on: the subjects, each with its three files.
bool simulateStudy(const SimulationDesign& design) {
  const HostFunctionTable& host = hostFunctions();
  const SimulatedVTC vtc = createSimulatedVTC(design);
  if (vtc.Data == nullptr) {
    host.ktMessageBox(texts::kVTCDataAccess);
    return false;
  }
  logFormatted(texts::kDimsFormat, vtc.DimX, vtc.DimY, vtc.DimZ);
  RunState run{design, vtc, nullptr, -1};
  std::unique_ptr<float[]> response = allocateResponse(design, vtc);
  if (response == nullptr) {
    host.ktMessageBox(texts::kPredictorAccess);
    return false;
  }
  run.Response = response.get();
  host.ktShowBusyCursor();
  if (!simulateAllSubjects(run)) return false;
  response.reset();
  host.ktStopBusyCursor();
  return true;
}

}  // namespace

bool runSimulation() {
  const HostFunctionTable& host = hostFunctions();
  host.ktShowLogTab();
  host.ktLogText(texts::kBlankLine);
  host.ktLogText(texts::kRunning);
  if (!hostHasTalairachVMR()) return false;
  char path[kFileNameBufferSize] = {};
  if (!chooseControlFile(path)) return false;
  std::unique_ptr<SimulationDesign> design(new (std::nothrow) SimulationDesign());
  if (design == nullptr || !readControlFile(path, *design)) return false;
  computeDerivedCounts(*design);
  if (!simulateStudy(*design)) return false;
  host.ktLogText(texts::kCompleted);
  host.ktLogText(texts::kBlankLine);
  host.ktUpdateActiveWindow();
  return true;
}

}  // namespace cohortix
