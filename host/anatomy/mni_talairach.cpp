#include "host/anatomy/mni_talairach.h"

namespace cohortix::host::anatomy {
namespace {

// icbm_other2tal, rows of [R | t].
constexpr double kIcbmOtherToTalairach[3][4] = {
    {0.9357, 0.0029, -0.0072, -1.0423},
    {-0.0065, 0.9396, -0.0726, -1.3940},
    {0.0103, 0.0752, 0.8967, 3.6475},
};

constexpr double kCentre = 128.0;

// The inverse of the 3 x 3 part, by cofactors, once.
struct Inverse {
  double m[3][3];
  Inverse() {
    const auto& a = kIcbmOtherToTalairach;
    const double c00 = a[1][1] * a[2][2] - a[1][2] * a[2][1];
    const double c01 = a[1][2] * a[2][0] - a[1][0] * a[2][2];
    const double c02 = a[1][0] * a[2][1] - a[1][1] * a[2][0];
    const double det = a[0][0] * c00 + a[0][1] * c01 + a[0][2] * c02;
    m[0][0] = c00 / det;
    m[0][1] = (a[0][2] * a[2][1] - a[0][1] * a[2][2]) / det;
    m[0][2] = (a[0][1] * a[1][2] - a[0][2] * a[1][1]) / det;
    m[1][0] = c01 / det;
    m[1][1] = (a[0][0] * a[2][2] - a[0][2] * a[2][0]) / det;
    m[1][2] = (a[0][2] * a[1][0] - a[0][0] * a[1][2]) / det;
    m[2][0] = c02 / det;
    m[2][1] = (a[0][1] * a[2][0] - a[0][0] * a[2][1]) / det;
    m[2][2] = (a[0][0] * a[1][1] - a[0][1] * a[1][0]) / det;
  }
};

const Inverse& inverse() {
  static const Inverse once;
  return once;
}

}  // namespace

Point talairachFromMni(const Point& mni) {
  Point tal{};
  for (int row = 0; row < 3; ++row) {
    const auto& a = kIcbmOtherToTalairach[row];
    tal[row] = a[0] * mni[0] + a[1] * mni[1] + a[2] * mni[2] + a[3];
  }
  return tal;
}

Point mniFromTalairach(const Point& talairach) {
  Point shifted{};
  for (int row = 0; row < 3; ++row) shifted[row] = talairach[row] - kIcbmOtherToTalairach[row][3];
  Point mni{};
  for (int row = 0; row < 3; ++row)
    mni[row] = inverse().m[row][0] * shifted[0] + inverse().m[row][1] * shifted[1] +
               inverse().m[row][2] * shifted[2];
  return mni;
}

Point talairachOfGrid(const Point& grid) {
  return {kCentre - grid[2], kCentre - grid[0], kCentre - grid[1]};
}

Point gridOfTalairach(const Point& talairach) {
  return {kCentre - talairach[1], kCentre - talairach[2], kCentre - talairach[0]};
}

}  // namespace cohortix::host::anatomy
