#pragma once
// The truth of a subject's head motion: one row per volume of its six pose
// parameters and its framewise displacement, as a TSV table (the columns' names
// those the realignment confounds of BIDS derivatives use), and the sidecar
// that names the columns, their units and the conventions of the pose.

#include <string>
#include <vector>

#include "host/motion/head_motion.h"

namespace cohortix::host::motion {

// Header, then one row per volume; the first volume's displacement is n/a.
// Numbers are the shortest text that reads back as the double the data were
// moved by.
std::string motionTableTsv(const std::vector<Pose>& poses);

// `centre`: the rotations' centre in world millimetres.
std::string motionSidecarJson(const MotionProfile& profile, const std::array<double, 3>& centre);

}  // namespace cohortix::host::motion
