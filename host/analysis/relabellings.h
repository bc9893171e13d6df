#pragma once
// The relabellings a permutation test runs through. Under the null hypothesis of a
// one-sample test the subjects' effects are symmetric around 0, so flipping any of
// their signs gives a study as likely as the one observed; under that of a
// two-sample test the subjects are exchangeable between the groups. The first
// relabelling is always the observed one. When every relabelling fits in the count
// asked for they are all run, once each (the test is then exact and the same on
// every machine); otherwise that many (at least the observed one) are drawn at
// random from the seed.

#include <cstdint>
#include <vector>

namespace cohortix::host {

struct Relabellings {
  int32_t subjects = 0;
  int32_t count = 0;
  bool exhaustive = false;
  // subjects x count values, relabelling-major: a sign (+1 or -1) per subject for
  // sign flips, a 1 for each subject in the first group (0 otherwise) for splits.
  std::vector<double> labels;

  const double* relabelling(int32_t k) const { return labels.data() + static_cast<std::size_t>(k) * subjects; }
};

// Sign flips of `subjects` subjects: all 2^subjects when at most `wanted`.
Relabellings signFlips(int32_t subjects, int32_t wanted, uint64_t seed);

// Splits of first + second subjects into a first group of `first` and the rest:
// all (first + second choose first) when at most `wanted`. The observed split puts
// the first `first` subjects in the first group.
Relabellings groupSplits(int32_t first, int32_t second, int32_t wanted, uint64_t seed);

}  // namespace cohortix::host
