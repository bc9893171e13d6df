#include "app/run_anatomy_options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <thread>

#include "control/vtc_geometry.h"
#include "host/anatomy/anatomy_cache.h"
#include "host/motion/slice_timing.h"

namespace cohortix::app {
namespace {

std::optional<host::anatomy::AnatomyMotion> motionOf(const host::motion::RunAcquisition& acquisition, uint64_t seed,
                                                     int32_t replicate, double repetitionTime) {
  if (!acquisition.motion) return std::nullopt;
  // Every core: the plug-in simulates the next subject meanwhile, in far less
  // time than this subject's volumes take to move (on 2 cores, 12.9 s for the
  // whole-brain example against 14.4 s with one core left to the plug-in).
  const int threads = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
  return host::anatomy::AnatomyMotion{*acquisition.motion, seed, static_cast<uint32_t>(replicate), repetitionTime,
                                      threads};
}

// The slices' times on the study's grid, kept in `times` for the sidecars.
std::optional<host::anatomy::AnatomySlices> slicesOf(const host::motion::RunAcquisition& acquisition,
                                                     const SimulationDesign& design, double repetitionTime,
                                                     std::vector<double>& times) {
  if (!acquisition.slices) return std::nullopt;
  times = host::motion::sliceTimes(*acquisition.slices, vtcDims(vtcBoxOf(design)).DimZ, repetitionTime);
  return host::anatomy::AnatomySlices{acquisition.sliceOrderName, times, repetitionTime,
                                      acquisition.slices->multiband};
}

}  // namespace

CLI::Option* addRunAnatomyOptions(CLI::App& command, RunAnatomyOptions& options) {
  CLI::Option* anatomy =
      command
          .add_option("--anatomy", options.file,
                      "Put every subject's data on a brain: the Colin27 template and its atlases "
                      "(Debian's mricron-data), or FILE, a T1-weighted image of the brain alone (0 "
                      "outside) or of the whole head (its brain is then extracted); each subject "
                      "gets a T1w")
          ->expected(0, 1);
  command
      .add_option("--anatomy-mask", options.mask,
                  "The brain mask of --anatomy FILE, a whole head (non-zero inside, on FILE's grid); "
                  "without it the brain is extracted from FILE")
      ->needs(anatomy);
  command.add_option("--anatomy-space", options.space, "The space of --anatomy FILE")
      ->capture_default_str()
      ->check(CLI::IsMember({"mni", "talairach"}))
      ->needs(anatomy);
  command
      .add_option("--signal-in", options.signalIn,
                  "Where a region's signal goes on the anatomy: weighted by each voxel's grey "
                  "matter, or all of the sphere as the plug-in made it")
      ->capture_default_str()
      ->check(CLI::IsMember({"grey", "all"}))
      ->needs(anatomy);
  command
      .add_flag("--anatomy-variation", options.variation,
                "Give each subject its own anatomy: the template scaled, rotated and moved by a small "
                "affine drawn from --seed and --replicate, written into its truth and its T1w's sidecar")
      ->needs(anatomy);
  command
      .add_option("--motion", options.motion,
                  "Move each subject's head through the run (needs --anatomy): a rigid-body trajectory "
                  "drawn from --seed and --replicate with this profile's drift and sudden moves; each "
                  "volume's noise-free image is moved (cubic B-spline) before the noise goes on, and the "
                  "six parameters and the framewise displacement go into the truth")
      ->check(CLI::IsMember(host::motion::motionPresetNames()));
  command
      .add_option("--slice-order", options.sliceOrder,
                  "Acquire each volume's slices (along the images' third axis) one after the other within the TR "
                  "(needs --anatomy): "
                  "each slice's signal is the response at its own time, and each _bold.json gives "
                  "SliceTiming")
      ->check(CLI::IsMember(host::motion::sliceOrderNames()));
  command
      .add_option("--multiband", options.multiband,
                  "Acquire this many slices at once (the slices in as many bands, the same place in each "
                  "band at the same time; must divide the slices); each _bold.json gives "
                  "MultibandAccelerationFactor. Default: the profile's [slices], or 1")
      ->check(CLI::Range(1, 64));
  return anatomy;
}

host::Result<host::motion::RunAcquisition> runAcquisition(const RunAnatomyOptions& options,
                                                         const std::string& profile,
                                                         const SimulationDesign& design, double repetitionTime) {
  std::optional<host::motion::AcquisitionProfile> read;
  if (!profile.empty()) {
    host::Result<host::motion::AcquisitionProfile> acquisition = host::motion::readAcquisitionProfile(profile);
    if (!acquisition) return acquisition.status();
    read = std::move(acquisition).value();
  }
  return host::motion::resolveAcquisition(read ? &*read : nullptr,
                                          {options.motion, options.sliceOrder, options.multiband},
                                          vtcDims(vtcBoxOf(design)).DimZ, repetitionTime, options.wanted);
}

host::Result<std::unique_ptr<RunAnatomy>> RunAnatomy::prepare(const RunAnatomyOptions& options,
                                                             const SimulationDesign& design,
                                                             const host::motion::RunAcquisition& acquisition,
                                                             bool keepNoise, uint64_t seed,
                                                             int32_t replicate, double repetitionTime) {
  if (!options.wanted) return std::unique_ptr<RunAnatomy>();
  if (!options.mask.empty() && options.file.empty())
    return host::Status::error("--anatomy-mask is the mask of --anatomy FILE; the templates have their own");
  const host::anatomy::AnatomySources sources =
      options.file.empty() ? host::anatomy::templateSources()
                           : host::anatomy::ownSources(options.file, options.space == "talairach", options.mask);
  bool cached = false;
  host::Result<host::anatomy::Anatomy> anatomy = host::anatomy::cachedAnatomy(sources, &cached);
  if (!anatomy) return anatomy.status();
  auto run = std::make_unique<RunAnatomy>();
  run->cached_ = cached;
  run->anatomy_ = std::move(anatomy).value();
  run->names_ = host::anatomy::AtlasNames::forSources(sources);
  run->onVTC_ = host::anatomy::anatomyOnVTC(run->anatomy_, vtcBoxOf(design));
  std::optional<host::anatomy::AnatomyVariation> variation;
  if (options.variation)
    variation = host::anatomy::AnatomyVariation{&run->anatomy_, {seed, static_cast<uint32_t>(replicate), 0}};
  run->composition_ = std::make_unique<host::anatomy::Composition>(
      run->onVTC_,
      options.signalIn == "all" ? host::anatomy::SignalIn::All : host::anatomy::SignalIn::Grey,
      keepNoise, std::move(variation), motionOf(acquisition, seed, replicate, repetitionTime),
      slicesOf(acquisition, design, repetitionTime, run->sliceTimes_));
  if (acquisition.slices) run->multiband_ = acquisition.slices->multiband;
  return run;
}

std::string RunAnatomy::preparedText() const {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, anatomy_.secondsToBuild,
                                 std::chars_format::fixed, 1).ptr;
  const std::string seconds(text, end);
  return cached_ ? "the anatomy read from its cache in " + seconds + " s"
                 : "the anatomy derived from its sources in " + seconds +
                       " s (kept in the cache for later runs)";
}

std::string RunAnatomy::placeJson(const std::array<double, 3>& talairach) const {
  return host::anatomy::placeJson(names_.placeOf(anatomy_, talairach));
}

std::string RunAnatomy::ownAnatomyJson(int32_t subjectNumber) const {
  const auto& variation = composition_->variation();
  if (!variation) return "";
  return host::anatomy::subjectAffineJson(variation->affineOf(subjectNumber), variation->ranges);
}

void RunAnatomy::plugInto(host::HostSession& session, host::anatomy::AnatomyOutputSetting setting,
                          host::DiskInterface& disk) {
  stage_ = std::make_unique<host::anatomy::AnatomyStage>(*composition_);
  outputs_ = std::make_unique<host::anatomy::AnatomyOutputs>(anatomy_, *composition_,
                                                             std::move(setting), disk);
  session.output().addStage(*stage_);
  session.output().addSink(*outputs_);
}

}  // namespace cohortix::app
