#pragma once
// A noise profile: the components of the host's noise in the units users think in,
// or the statistics the data should show (target mode), from which the components
// are solved for the data's geometry. docs/noise.md defines every field.

#include <optional>
#include <string>
#include <vector>

namespace cohortix::host::noise {

enum class SystemNoise { Gaussian, Rician };

// The random noise: its level and how it divides into white system (thermal) noise
// and the tissue field, which is autocorrelated in time and smooth in space.
struct RandomNoise {
  double levelPercent = 0.0;   // SD, percent of the voxel's baseline
  double systemShare = 0.0;    // share of level^2 that is system noise
  SystemNoise system = SystemNoise::Gaussian;
  std::vector<double> ar;      // AR(p) of the tissue field; empty: white in time
  double fwhmMm = 0.0;         // smoothness of the tissue field; 0: white in space
};

// Random per-voxel weights on the cosine basis below the cutoff.
struct Drift {
  double amplitudePercent = 0.0;  // RMS over volumes and voxels
  double cutoffSeconds = 128.0;
};

// A cardiac or respiratory rhythm, sampled at the TR and so aliased as in real data.
struct Rhythm {
  std::string name;
  double frequencyHz = 0.0;
  double amplitudePercent = 0.0;  // peak amplitude, RMS over voxels
  double weightsFwhmMm = 10.0;    // smoothness of the per-voxel weights (and phases)
};

// One AR time course shared by every voxel.
struct GlobalSignal {
  double amplitudePercent = 0.0;  // SD
  std::vector<double> ar{0.8};
};

struct NoiseComponents {
  RandomNoise noise;
  Drift drift;
  std::vector<Rhythm> rhythms;
  GlobalSignal global;
};

struct RhythmTarget {
  std::string name;
  double frequencyHz = 0.0;
  double share = 0.0;  // of the residual variance
  double weightsFwhmMm = 10.0;
};

// The statistics the estimators should read from the data (docs/noise.md).
struct NoiseTarget {
  double tsnr = 0.0;
  double ar1 = 0.0;
  double fwhmMm = 0.0;
  double driftShare = 0.0;   // drift variance over residual variance
  std::vector<RhythmTarget> rhythms;
  double globalShare = 0.0;  // of the residual variance
  double globalAr1 = 0.8;
  double systemShare = 0.2;  // of the random noise variance
  SystemNoise system = SystemNoise::Gaussian;
};

// What a run's host noise does with the plug-in's own noise: takes its place (the
// data are the plug-in's noise-free data plus the host's noise), or comes on top.
enum class PluginNoise { Replace, Add };

struct NoiseProfile {
  std::string name;                   // where it came from, for messages
  PluginNoise pluginNoise = PluginNoise::Replace;  // `plugin_noise`
  std::optional<NoiseTarget> target;  // set: solve the components from it
  NoiseComponents components;         // used when there is no target
};

}  // namespace cohortix::host::noise
