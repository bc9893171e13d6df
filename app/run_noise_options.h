#pragma once
// The run's host noise and replicate (--noise, --seed, --replicate): the options,
// and what they make of the run before it starts.

#include <cstdint>
#include <memory>
#include <string>

#include "control/simulation_design.h"
#include "host/io/disk_interface.h"
#include "host/noise/noise_run_settings.h"
#include "host/noise/noise_stage.h"
#include "host/replicate/expanded_study_file.h"
#include "host/session/host_session.h"

namespace CLI {
class App;
}

namespace cohortix::app {

struct RunNoiseOptions {
  std::string profile;  // empty: no host noise
  uint64_t seed = host::noise::kDefaultNoiseSeed;
  int32_t replicate = 0;
};

void addRunNoiseOptions(CLI::App& command, RunNoiseOptions& options);

// What the options make of one run; lives until the session is gone.
class RunNoise {
 public:
  // Reads the profile and prepares it for the study's geometry; for a replicate,
  // writes the expanded study and points the session's dialog and selection at it.
  // Refuses a profile that is not one ("file:line: expected ..., found ..."), one
  // the study cannot carry and a replicate the control file cannot hold. Without a
  // design (the plug-in will refuse the control file) only the profile is read.
  static host::Result<std::unique_ptr<RunNoise>> prepare(const RunNoiseOptions& options,
                                                         host::SessionOptions& session,
                                                         const SimulationDesign* design,
                                                         host::DiskInterface& disk);

  // Adds the noise stage to the session's output path; for a profile that adds the
  // host's noise to the plug-in's own, says on stderr what the data will read.
  void plugInto(host::HostSession& session);
  // The noise stage; null when the run adds no host noise.
  host::noise::NoiseStage* stage() const { return stage_.get(); }
  // That line ("" for a profile that replaces the plug-in's noise, or no noise).
  const std::string& combinedNote() const { return combinedNote_; }
  const host::noise::NoiseRunSettings& settings() const { return settings_; }
  // What the BIDS README adds; empty for a plain run.
  std::string readmeNote() const { return host::noise::noiseRunReadme(settings_); }
  // Removes the replicate's temporary control file (also when a run is stopped).
  void removeTemporaries() noexcept;

 private:
  host::noise::NoiseRunSettings settings_;
  std::string combinedNote_;
  std::unique_ptr<host::noise::NoiseStage> stage_;
  std::unique_ptr<host::replicate::ExpandedStudyFile> expanded_;
};

}  // namespace cohortix::app
