#pragma once
// The run's anatomy (--anatomy [FILE], --anatomy-space, --signal-in, --motion,
// --slice-order): the options,
// the anatomy built before the run starts, and its stage and outputs on the
// session's output path.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "control/simulation_design.h"
#include "host/anatomy/anatomy.h"
#include "host/anatomy/anatomy_stage.h"
#include "host/anatomy/atlas_labels.h"
#include "host/anatomy/vtc_anatomy.h"
#include "host/io/disk_interface.h"
#include "host/motion/acquisition_profile.h"
#include "host/session/host_session.h"

namespace CLI {
class App;
class Option;
}

namespace cohortix::app {

struct RunAnatomyOptions {
  bool wanted = false;
  std::string file;             // empty: the templates of mricron-data
  std::string space = "mni";    // of FILE: mni or talairach
  std::string mask;             // FILE's brain mask; empty: none given
  std::string signalIn = "grey";
  bool variation = false;       // each subject on its own affine of the anatomy
  std::string motion;           // the head motion's profile; empty: the head keeps still
  std::string sliceOrder;       // the slices' order; empty: every slice at the volume's start
  int32_t multiband = 0;        // slices acquired at once; 0: the profile's, or 1
};

// Returns --anatomy, whose count says whether it was given.
CLI::Option* addRunAnatomyOptions(CLI::App& command, RunAnatomyOptions& options);

// The run's head motion and slice timing: the options over the [motion] and
// [slices] of the noise profile `profile` (none: empty), refused where the study
// cannot have them ("file:line: expected ..., found ...").
host::Result<host::motion::RunAcquisition> runAcquisition(const RunAnatomyOptions& options,
                                                         const std::string& profile,
                                                         const SimulationDesign& design, double repetitionTime);

class RunAnatomy {
 public:
  // Builds the anatomy on the study's grid; refuses, before anything is written,
  // missing templates (with the command that installs them) or an image that is
  // not one. Null when no anatomy is asked for.
  // `keepNoise`: false when the host's noise will take the plug-in's place.
  // `acquisition`: the head's motion and the slices' timing (runAcquisition).
  // With --anatomy-variation and --motion, the subjects' own anatomies and
  // motions are drawn from `seed` and `replicate`, as the host's noise is; the
  // motion's drift runs at `repetitionTime`.
  static host::Result<std::unique_ptr<RunAnatomy>> prepare(const RunAnatomyOptions& options,
                                                           const SimulationDesign& design,
                                                           const host::motion::RunAcquisition& acquisition,
                                                           bool keepNoise = true, uint64_t seed = 0,
                                                           int32_t replicate = 0, double repetitionTime = 2.0);

  // The stage (ahead of the host's noise) and the outputs.
  void plugInto(host::HostSession& session, host::anatomy::AnatomyOutputSetting setting,
                host::DiskInterface& disk);
  const host::anatomy::Composition& composition() const { return *composition_; }
  // Where a Talairach point lies (atlas labels, tissue), as one JSON object.
  std::string placeJson(const std::array<double, 3>& talairach) const;
  // The subject's own anatomy's affine as JSON; empty when the subjects share the anatomy.
  std::string ownAnatomyJson(int32_t subjectNumber) const;
  // The slices' times (--slice-order) for the bold sidecars; empty without one.
  const std::vector<double>& sliceTimes() const { return sliceTimes_; }
  // Slices acquired at once (1 without multiband).
  int32_t multiband() const { return multiband_; }
  // What getting the anatomy took: "the anatomy derived from its sources in 1.2 s ...".
  std::string preparedText() const;

 private:
  host::anatomy::Anatomy anatomy_;
  host::anatomy::AtlasNames names_;
  bool cached_ = false;
  host::anatomy::VTCAnatomy onVTC_;
  std::vector<double> sliceTimes_;
  int32_t multiband_ = 1;
  std::unique_ptr<host::anatomy::Composition> composition_;
  std::unique_ptr<host::anatomy::AnatomyStage> stage_;
  std::unique_ptr<host::anatomy::AnatomyOutputs> outputs_;
};

}  // namespace cohortix::app
