#pragma once
// Head motion: each subject's rigid-body trajectory, one pose per volume, drawn
// from the host's counter-based stream (host/noise/counter_random.h, a stream of
// its own) keyed by (seed, replicate, subject), so a subject's motion is the same
// whatever the threads or the order of subjects.
//
// A pose is three translations (mm) and three rotations (radians) in the data's
// world space (Talairach millimetres, the exports' affine). It moves a point p of
// the head as it lies in the first volume to
//   p' = R (p - c) + c + t,   R = Rz Ry Rx,
// c the centre of the volume's grid, Rx the rotation about x by rot_x (pitch), Ry
// about y (roll), Rz about z (yaw). Volume 0 is the head at rest: all six zero.
//
// From volume to volume the pose moves by
//   step = -reversion x pose + jitter + drift + (sudden move, at rate spikeRate),
// jitter, drift and sudden moves normal with the profile's standard deviations
// per translation; rotations take the same in radians at a 50 mm radius (sd / 50),
// so that each contributes to the framewise displacement as a translation does.
// With n = 6 parameters each stepping by a normal of sd s, the mean framewise
// displacement is about 6 s sqrt(2 / pi); the presets are set from that (the
// README gives their figures and sources).

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/motion/rotation.h"

namespace cohortix::host::motion {

struct MotionProfile {
  std::string name;
  double jitterMm = 0.0;        // sd of each translation's step from one volume to the next
  double driftMmPerMinute = 0.0;  // sd of each translation's steady drift
  double spikeRate = 0.0;       // chance of a sudden move at each volume
  double spikeMm = 0.0;         // sd of each translation of a sudden move
  double reversion = 0.0;       // share of its displacement the head gives back each volume
};

// still, typical, high; nullopt for any other name.
std::optional<MotionProfile> motionPreset(std::string_view name);
// The presets' names, for the option's help and its refusal.
std::vector<std::string> motionPresetNames();

// The head's radius for the framewise displacement (Power et al. 2012), in mm.
inline constexpr double kHeadRadiusMm = 50.0;

// trans_x, trans_y, trans_z (mm), rot_x, rot_y, rot_z (radians).
using Pose = std::array<double, 6>;

struct MotionKey {
  uint64_t seed = 0;
  uint32_t replicate = 0;
  uint32_t subject = 0;
};

// One pose per volume; the first is the rest pose (all zero).
std::vector<Pose> drawTrajectory(const MotionKey& key, const MotionProfile& profile, std::size_t volumes,
                                 double repetitionTime);

// Power's framewise displacement: the sum of the absolute changes from the
// volume before, rotations as arcs at kHeadRadiusMm. The first volume's is 0.
std::vector<double> framewiseDisplacement(const std::vector<Pose>& poses);

// R = Rz Ry Rx of the pose's rotations, rows.
Rotation rotationOf(const Pose& pose);

}  // namespace cohortix::host::motion
