#pragma once
// The host's noise as a stage of a run's output path: every subject's staged data
// get the noise of its own key (seed, replicate, subject number) before any sink
// sees them, so the native .vtc, the exports and whatever comes later all hold the
// same noisy data. The noise is made on the writer's thread, while the plug-in
// simulates the next subject.
//
// The host's noise takes the place of the plug-in's own (the profile's
// `plugin_noise`, "replace" by default): the subject's components give its
// noise-free data, F + A x response, and the host's noise goes on those, its
// percent amplitudes following each voxel's true baseline F. A profile that says
// "add", or a subject without components (a plug-in that cannot report what it
// draws), gets the host's noise on top of the plug-in's data as they are, its
// percents following each voxel's temporal mean; the latter is said once.

#include <cstdint>
#include <functional>
#include <vector>
#include <ostream>
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
  // `model` is prepared for the study's geometry; threads >= 1. `notes` is told,
  // once, when the plug-in's noise cannot be replaced.
  NoiseStage(NoiseModel model, PluginNoise pluginNoise, uint64_t seed, uint32_t replicate, int threads,
             std::ostream& notes);

  // Throws for data of another geometry than the model's (the output path then
  // writes nothing made of them).
  void prepare(const SavedSubject& subject, std::span<float> data) override;

  // A stage before this one (the anatomy) has already recomposed every subject
  // without the plug-in's noise: the host's noise replacing it goes on the data as
  // they come, at each voxel's baseline as `baselineOf` gives it.
  using BaselineOf = std::function<std::vector<float>(const SavedSubject&)>;
  void takeRecomposedData(BaselineOf baselineOf) { baselineOf_ = std::move(baselineOf); }
  bool replacesPluginNoise() const { return pluginNoise_ == PluginNoise::Replace; }
  // The subjects from now on are the given replicate's (their noise keys name it).
  void setReplicate(uint32_t replicate) { replicate_ = replicate; }

 private:
  // Puts the subject's noise-free data in place of its data; false when it has no
  // components to make them from.
  bool removePluginNoise(const SavedSubject& subject, std::span<float> data);

  NoiseModel model_;
  PluginNoise pluginNoise_;
  std::ostream& notes_;
  bool addedNoted_ = false;
  uint64_t seed_;
  uint32_t replicate_;
  int threads_;
  BaselineOf baselineOf_;
};

}  // namespace cohortix::host::noise
