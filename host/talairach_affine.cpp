#include "host/talairach_affine.h"

namespace cohortix::host {
namespace {
constexpr double kAnatomyCentre = 128.0;
}

Affine talairachAffine(const VTCGrid& grid) {
  const double r = grid.Resolution;
  return {{
      {0.0, 0.0, -r, kAnatomyCentre - grid.ZStart},  // Talairach x falls with k
      {-r, 0.0, 0.0, kAnatomyCentre - grid.XStart},  // Talairach y falls with i
      {0.0, -r, 0.0, kAnatomyCentre - grid.YStart},  // Talairach z falls with j
  }};
}

}  // namespace cohortix::host
