#pragma once
// The Monte-Carlo estimates of a power analysis: proportions of replicates (a
// region detected, a family-wise error) with Wilson's 95% score interval, and means
// over replicates of per-replicate shares (sensitivity, false-positive rate, false
// discovery proportion) with the normal 95% interval of a mean.

#include <cstdint>

namespace cohortix::host {

struct Estimate {
  double value = 0.0;
  double low = 0.0;
  double high = 0.0;
};

// Wilson's score interval at 95% for `successes` out of `trials` (NaN for none).
Estimate wilsonInterval(int64_t successes, int64_t trials);

// Counts of a yes/no outcome over replicates.
class ProportionTally {
 public:
  void add(bool success) { trials_ += 1; successes_ += success ? 1 : 0; }
  Estimate estimate() const { return wilsonInterval(successes_, trials_); }
  int64_t trials() const { return trials_; }

 private:
  int64_t trials_ = 0;
  int64_t successes_ = 0;
};

// The running mean and variance (Welford) of a per-replicate value; NaN values
// (no voxel to take a share of) are left out.
class MeanTally {
 public:
  void add(double value);
  // mean +- 1.96 SD / sqrt(n), within 0 .. 1 (the values are shares); the
  // interval is the mean alone for one value.
  Estimate estimate() const;

 private:
  int64_t count_ = 0;
  double mean_ = 0.0;
  double squaredDeviations_ = 0.0;
};

}  // namespace cohortix::host
