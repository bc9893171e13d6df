#include "host/motion/head_motion.h"

#include <cmath>
#include <numbers>

#include "host/noise/counter_random.h"

namespace cohortix::host::motion {
namespace {

// The deviates of volume t: 16 of them from 16 t, of site (0, 0, 0); the
// subject's drift from site (1, 0, 0).
constexpr std::size_t kPerVolume = 16;
constexpr std::size_t kJitter = 0, kSpike = 6, kSpikeChance = 12;

// The probability that a standard normal deviate falls below d.
double normalBelow(float d) { return 0.5 * std::erfc(-static_cast<double>(d) / std::numbers::sqrt2); }

double scaleOf(int parameter) { return parameter < 3 ? 1.0 : 1.0 / kHeadRadiusMm; }

}  // namespace

std::vector<Pose> drawTrajectory(const MotionKey& key, const MotionProfile& profile, std::size_t volumes,
                                 double repetitionTime) {
  std::vector<Pose> poses(volumes, Pose{});
  if (volumes == 0) return poses;
  const noise::CounterRandom random({key.seed, key.replicate, key.subject});
  float drift[6];
  random.gaussians(noise::NoiseStream::HeadMotion, {1, 0, 0}, 0, 6, drift);
  std::vector<float> deviates(volumes * kPerVolume);
  random.gaussians(noise::NoiseStream::HeadMotion, {0, 0, 0}, 0, deviates.size(), deviates.data());
  const double driftPerVolume = profile.driftMmPerMinute * repetitionTime / 60.0;
  for (std::size_t t = 1; t < volumes; ++t) {
    const float* d = deviates.data() + t * kPerVolume;
    const bool sudden = normalBelow(d[kSpikeChance]) < profile.spikeRate;
    for (int p = 0; p < 6; ++p) {
      // In millimetres, rotations as arcs at the head's radius.
      const double before = poses[t - 1][p] / scaleOf(p);
      double step = -profile.reversion * before + profile.jitterMm * d[kJitter + p] + driftPerVolume * drift[p];
      if (sudden) step += profile.spikeMm * d[kSpike + p];
      poses[t][p] = (before + step) * scaleOf(p);
    }
  }
  return poses;
}

std::vector<double> framewiseDisplacement(const std::vector<Pose>& poses) {
  std::vector<double> fd(poses.size(), 0.0);
  for (std::size_t t = 1; t < poses.size(); ++t)
    for (int p = 0; p < 6; ++p) fd[t] += std::abs(poses[t][p] - poses[t - 1][p]) / scaleOf(p);
  return fd;
}

Rotation rotationOf(const Pose& pose) {
  return product(rotationAbout(2, pose[5]), product(rotationAbout(1, pose[4]), rotationAbout(0, pose[3])));
}

}  // namespace cohortix::host::motion
