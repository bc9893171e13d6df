#pragma once
// The host's noise as a stage of a run's output path: every subject's staged data
// get the noise of its own key (seed, replicate, subject number) before any sink
// sees them, so the native .vtc, the exports and whatever comes later all hold the
// same noisy data. The noise is made on the writer's thread, while the plug-in
// simulates the next subject.

#include <cstdint>
#include <span>

#include "control/simulation_design.h"
#include "host/io/status.h"
#include "host/noise/noise_model.h"
#include "host/session/saved_subject.h"

namespace cohortix::host::noise {

// The geometry a run's subjects have: the design's box, resolution (VMR voxels
// of 1 mm) and volumes, at the run's repetition time.
NoiseGeometry geometryOfStudy(const SimulationDesign& design, double repetitionTime);

class NoiseStage : public SubjectDataStage {
 public:
  // `model` is prepared for the study's geometry; threads >= 1.
  NoiseStage(NoiseModel model, uint64_t seed, uint32_t replicate, int threads);

  // Throws for data of another geometry than the model's (the output path then
  // writes nothing made of them).
  void prepare(const SavedSubject& subject, std::span<float> data) override;

 private:
  NoiseModel model_;
  uint64_t seed_;
  uint32_t replicate_;
  int threads_;
};

}  // namespace cohortix::host::noise
