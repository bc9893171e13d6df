#pragma once
// Rotations of three-dimensional space as 3 × 3 matrices (rows), for the head's
// poses and the anatomy's per-subject affines alike.

#include <array>

namespace cohortix::host::motion {

using Rotation = std::array<std::array<double, 3>, 3>;

// a b.
Rotation product(const Rotation& a, const Rotation& b);

// The rotation by `radians` about axis 0, 1 or 2 (x, y, z), counter-clockwise
// looking down the axis.
Rotation rotationAbout(int axis, double radians);

}  // namespace cohortix::host::motion
