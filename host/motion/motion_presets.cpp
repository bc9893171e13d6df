// The named motion profiles (head_motion.h).

#include "host/motion/head_motion.h"

namespace cohortix::host::motion {

std::optional<MotionProfile> motionPreset(std::string_view name) {
  // Mean framewise displacement about 0.04, 0.15 and 0.42 mm; sudden moves
  // (FD above 0.5 mm) in none, about 1 % and about 8 % of the volumes.
  if (name == "still") return MotionProfile{"still", 0.008, 0.02, 0.0, 0.0, 0.02};
  if (name == "typical") return MotionProfile{"typical", 0.028, 0.05, 0.01, 0.3, 0.05};
  if (name == "high") return MotionProfile{"high", 0.055, 0.15, 0.065, 0.5, 0.05};
  return std::nullopt;
}

std::vector<std::string> motionPresetNames() { return {"still", "typical", "high"}; }

}  // namespace cohortix::host::motion
