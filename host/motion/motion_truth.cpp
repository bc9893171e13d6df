#include "host/motion/motion_truth.h"

#include <charconv>

namespace cohortix::host::motion {
namespace {

std::string number(double value) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return std::string(text, end);
}

std::string column(const char* name, const char* description, const char* units) {
  return std::string("  \"") + name + "\": {\"Description\": \"" + description + "\", \"Units\": \"" + units +
         "\"},\n";
}

}  // namespace

std::string motionTableTsv(const std::vector<Pose>& poses) {
  std::string text = "trans_x\ttrans_y\ttrans_z\trot_x\trot_y\trot_z\tframewise_displacement\n";
  const std::vector<double> fd = framewiseDisplacement(poses);
  for (std::size_t t = 0; t < poses.size(); ++t) {
    for (double value : poses[t]) text += number(value) + '\t';
    text += (t == 0 ? std::string("n/a") : number(fd[t])) + '\n';
  }
  return text;
}

std::string motionSidecarJson(const MotionProfile& profile, const std::array<double, 3>& centre) {
  std::string text = "{\n";
  text += column("trans_x", "Translation of the head along Talairach x (left to right)", "mm");
  text += column("trans_y", "Translation of the head along Talairach y (posterior to anterior)", "mm");
  text += column("trans_z", "Translation of the head along Talairach z (inferior to superior)", "mm");
  text += column("rot_x", "Rotation of the head about x (pitch)", "rad");
  text += column("rot_y", "Rotation of the head about y (roll)", "rad");
  text += column("rot_z", "Rotation of the head about z (yaw)", "rad");
  text += column("framewise_displacement",
                 "Framewise displacement (Power et al. 2012): the sum of the absolute changes of the six "
                 "parameters from the volume before, rotations as arcs on a sphere of 50 mm radius",
                 "mm");
  text += "  \"Convention\": \"A point p of the head as the first volume holds it lies at R (p - c) + c + t in "
          "the volume: t = (trans_x, trans_y, trans_z), R = Rz Ry Rx, Rx rotating by rot_x about x, Ry by "
          "rot_y about y, Rz by rot_z about z, c = RotationCentre. The first volume is the head at rest.\",\n";
  text += "  \"RotationCentre\": [" + number(centre[0]) + ", " + number(centre[1]) + ", " + number(centre[2]) +
          "],\n";
  text += "  \"Space\": \"Talairach millimetres, as the subject's bold image's affine gives them\",\n";
  text += "  \"Interpolation\": \"cubic B-spline, mirror-symmetric beyond the grid\",\n";
  text += "  \"MotionProfile\": {\"Name\": \"" + profile.name + "\", \"JitterMm\": " + number(profile.jitterMm) +
          ", \"DriftMmPerMinute\": " + number(profile.driftMmPerMinute) +
          ", \"SuddenMoveRate\": " + number(profile.spikeRate) + ", \"SuddenMoveMm\": " + number(profile.spikeMm) +
          ", \"Reversion\": " + number(profile.reversion) + "}\n}\n";
  return text;
}

}  // namespace cohortix::host::motion
