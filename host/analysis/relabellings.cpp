#include "host/analysis/relabellings.h"

#include <algorithm>
#include <numeric>
#include <random>

namespace cohortix::host {
namespace {

// n choose k, or `cap` + 1 once it exceeds cap.
int64_t choose(int32_t n, int32_t k, int64_t cap) {
  k = std::min(k, n - k);
  int64_t result = 1;
  for (int32_t i = 1; i <= k; ++i) {
    result = result * (n - k + i) / i;  // exact: a product of i consecutive integers
    if (result > cap) return cap + 1;
  }
  return result;
}

Relabellings empty(int32_t subjects, int32_t count, bool exhaustive) {
  Relabellings all;
  all.subjects = subjects;
  all.count = count;
  all.exhaustive = exhaustive;
  all.labels.assign(static_cast<std::size_t>(subjects) * static_cast<std::size_t>(count), 0.0);
  return all;
}

// Uniform in [0, n): std::uniform_int_distribution differs between standard
// libraries, and a test must draw the same relabellings everywhere. The bias of a
// 64-bit remainder is below 2^-32 for any n a study has.
uint64_t below(std::mt19937_64& bits, uint64_t n) { return bits() % n; }

}  // namespace

Relabellings signFlips(int32_t subjects, int32_t wanted, uint64_t seed) {
  wanted = std::max(wanted, 1);  // the observed labelling is always run
  const bool exhaustive = subjects < 31 && (int64_t{1} << subjects) <= wanted;
  Relabellings all = empty(subjects, exhaustive ? 1 << subjects : wanted, exhaustive);
  std::mt19937_64 bits(seed);
  for (int32_t k = 0; k < all.count; ++k) {
    double* signs = all.labels.data() + static_cast<std::size_t>(k) * subjects;
    for (int32_t i = 0; i < subjects; ++i) {
      const bool flipped = exhaustive ? ((k >> i) & 1) != 0 : k > 0 && (bits() & 1) != 0;
      signs[i] = flipped ? -1.0 : 1.0;
    }
  }
  return all;
}

Relabellings groupSplits(int32_t first, int32_t second, int32_t wanted, uint64_t seed) {
  wanted = std::max(wanted, 1);  // the observed labelling is always run
  const int32_t subjects = first + second;
  const int64_t splits = choose(subjects, first, wanted);
  const bool exhaustive = splits <= wanted;
  Relabellings all = empty(subjects, exhaustive ? static_cast<int32_t>(splits) : wanted, exhaustive);
  std::vector<int32_t> chosen(static_cast<std::size_t>(first));
  std::iota(chosen.begin(), chosen.end(), 0);
  std::vector<int32_t> order(static_cast<std::size_t>(subjects));
  std::mt19937_64 bits(seed);
  for (int32_t k = 0; k < all.count; ++k) {
    double* inFirst = all.labels.data() + static_cast<std::size_t>(k) * subjects;
    if (exhaustive) {
      for (int32_t i : chosen) inFirst[i] = 1.0;
      // The next combination in lexicographic order.
      int32_t i = first - 1;
      while (i >= 0 && chosen[i] == subjects - first + i) --i;
      if (i < 0) continue;
      ++chosen[i];
      for (int32_t j = i + 1; j < first; ++j) chosen[j] = chosen[j - 1] + 1;
    } else {
      std::iota(order.begin(), order.end(), 0);
      // A partial Fisher-Yates shuffle: the first `first` places are a uniform subset.
      for (int32_t i = 0; i < first && k > 0; ++i)
        std::swap(order[i], order[i + static_cast<int32_t>(below(bits, static_cast<uint64_t>(subjects - i)))]);
      for (int32_t i = 0; i < first; ++i) inFirst[order[i]] = 1.0;
    }
  }
  return all;
}

}  // namespace cohortix::host
