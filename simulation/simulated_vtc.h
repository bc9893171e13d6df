#pragma once
// The run's one VTC document in the host, and the plug-in's step that simulates
// every subject's data into it.

#include <cstddef>
#include <cstdint>

#include "control/simulation_design.h"
#include "control/vtc_geometry.h"
#include "abi/host_records.h"

namespace cohortix {

struct SimulatedVTC {
  VTCHeader Header{};     // as the host reported it after creation
  float* Data = nullptr;  // the host's buffer, written in place; null if it has none
  int32_t DimX = 0, DimY = 0, DimZ = 0;
};

// The element of voxel v's first volume: voxel-major, time fastest. 64-bit, as a
// fine box over a long run holds more than 2^31 values.
std::size_t voxelElement(const SimulatedVTC& vtc, const VoxelIndex& v, std::size_t n);

// Where the VTC lies and its size, as the host reported them after creation.
VTCGeometry geometryOf(const SimulatedVTC& vtc);

// Creates the VTC of the current VMR for the design's box and reads it back.
SimulatedVTC createSimulatedVTC(const SimulationDesign& design);

// Rewrites every value of the VTC for subject s of group g: the subject's model
// (subject_model.h) on the process-wide random state, with the predictors of the
// host's current design matrix. response is scratch of the header's NrOfVolumes
// floats. False when the host hands out no time course for a predictor; the busy
// cursor is then off and the user told.
bool simulateSubjectVTC(const SimulatedVTC& vtc, const SimulationDesign& design, int32_t g,
                        int32_t s, int32_t NrOfPredictors, float* response,
                        int32_t& RandomSeed);

}  // namespace cohortix
