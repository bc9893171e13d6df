#include "host/motion/rotation.h"

#include <cmath>

namespace cohortix::host::motion {

Rotation product(const Rotation& a, const Rotation& b) {
  Rotation out{};
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c)
      for (int i = 0; i < 3; ++i) out[r][c] += a[r][i] * b[i][c];
  return out;
}

Rotation rotationAbout(int axis, double radians) {
  const double c = std::cos(radians), s = std::sin(radians);
  const int a = (axis + 1) % 3, b = (axis + 2) % 3;
  Rotation m{};
  m[axis][axis] = 1;
  m[a][a] = c, m[a][b] = -s;
  m[b][a] = s, m[b][b] = c;
  return m;
}

}  // namespace cohortix::host::motion
