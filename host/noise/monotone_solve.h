#pragma once
// x in [low, high] with f(x) = goal for a continuous increasing f, by the Illinois
// variant of regula falsi: superlinear on smooth functions, never leaving the
// bracket. A goal outside [f(low), f(high)] gives the nearer end.

#include <cmath>

namespace cohortix::host::noise {

template <class F>
double solveIncreasing(const F& f, double goal, double low, double high, double tolerance = 1e-12) {
  double fLow = f(low) - goal, fHigh = f(high) - goal;
  if (fLow >= 0.0) return low;
  if (fHigh <= 0.0) return high;
  int side = 0;
  for (int i = 0; i < 100 && high - low > tolerance; ++i) {
    double x = (low * fHigh - high * fLow) / (fHigh - fLow);
    if (!(x > low && x < high)) x = 0.5 * (low + high);
    const double fx = f(x) - goal;
    if (fx == 0.0) return x;
    if (fx < 0.0) {
      low = x, fLow = fx;
      if (side == -1) fHigh /= 2.0;
      side = -1;
    } else {
      high = x, fHigh = fx;
      if (side == 1) fLow /= 2.0;
      side = 1;
    }
    if (std::fabs(fx) < 1e-15) break;
  }
  return fLow == 0.0 ? low : fHigh == 0.0 ? high : (low * fHigh - high * fLow) / (fHigh - fLow);
}

}  // namespace cohortix::host::noise
