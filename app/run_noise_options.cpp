#include "app/run_noise_options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <iostream>
#include <optional>
#include <thread>

#include "host/noise/noise_profile_file.h"

namespace cohortix::app {
namespace {

// The plug-in simulates on one core; the noise may have the others.
int noiseThreads() {
  const unsigned cores = std::thread::hardware_concurrency();
  return std::max(1, static_cast<int>(cores) - 1);
}

}  // namespace

void addRunNoiseOptions(CLI::App& command, RunNoiseOptions& options) {
  command.add_option(
      "--noise", options.profile,
      "Put the host's noise model of this profile (.toml; docs/noise.md, examples/noise/) in "
      "place of the plug-in's own noise (or on top of it, where the profile says plugin_noise = "
      "\"add\") in every subject before any file is written");
  command
      .add_option("--seed", options.seed,
                  "Seed of the host's random numbers (its noise, --anatomy-variation); the "
                  "plug-in's own stream is fixed")
      ->capture_default_str();
  command
      .add_option("--replicate", options.replicate,
                  "Write the K-th independent sample of the study (0: the study as written): the "
                  "plug-in simulates K + 1 times each group's subjects and the host keeps the "
                  "last, under the study's names, so the run takes about K + 1 times as long")
      ->capture_default_str()
      ->check(CLI::NonNegativeNumber);
}

host::Result<std::unique_ptr<RunNoise>> RunNoise::prepare(const RunNoiseOptions& options,
                                                          host::SessionOptions& session,
                                                          const SimulationDesign* design,
                                                          host::DiskInterface& disk) {
  auto run = std::make_unique<RunNoise>();
  run->settings_.seed = options.seed;
  run->settings_.replicate = static_cast<uint32_t>(options.replicate);
  std::optional<host::noise::NoiseProfile> profile;
  if (!options.profile.empty()) {
    host::Result<host::noise::NoiseProfile> read = host::noise::readNoiseProfile(options.profile);
    if (!read) return read.status();
    profile = std::move(read).value();
    run->settings_.profilePath = options.profile;
    run->settings_.profileName = std::filesystem::path(options.profile).filename().string();
    run->settings_.profile = profile;
  }
  if (design == nullptr) return run;
  if (profile) {
    const host::noise::NoiseGeometry geometry =
        host::noise::geometryOfStudy(*design, session.repetitionTime);
    host::Result<host::noise::NoiseModel> model = host::noise::NoiseModel::prepare(*profile, geometry);
    if (!model)
      return model.status().context("cannot add the noise of " + options.profile + " to " +
                                    session.controlFile.filename().string());
    run->settings_.components = model.value().components();
    if (profile->pluginNoise == host::noise::PluginNoise::Add)
      run->combinedNote_ = host::noise::noiseForecastNote(run->settings_, geometry, design->NoiseSDPercent);
    run->stage_ = std::make_unique<host::noise::NoiseStage>(std::move(model).value(), profile->pluginNoise,
                                                            options.seed, run->settings_.replicate,
                                                            noiseThreads(), std::cerr);
  }
  if (options.replicate > 0) {
    host::Result<std::unique_ptr<host::replicate::ExpandedStudyFile>> expanded =
        host::replicate::ExpandedStudyFile::write(session.controlFile, options.replicate, disk);
    if (!expanded) return expanded.status();
    run->expanded_ = std::move(expanded).value();
    session.pluginControlFile = run->expanded_->path();
    session.selection = run->expanded_->selection();
  }
  return run;
}

void RunNoise::plugInto(host::HostSession& session) {
  if (!stage_) return;
  if (!combinedNote_.empty()) std::cerr << "cohortix: " << combinedNote_ << '\n';
  session.output().addStage(*stage_);
}

void RunNoise::removeTemporaries() noexcept {
  if (expanded_) expanded_->remove();
}

}  // namespace cohortix::app
