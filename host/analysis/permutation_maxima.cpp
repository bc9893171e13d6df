#include "host/analysis/permutation_maxima.h"

#include <Eigen/Dense>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cmath>
#include <limits>
#include <type_traits>

namespace cohortix::host {
namespace {

// A matrix product takes this many voxels under this many relabellings: its sums,
// 2 MiB of doubles, stay in the cache for the pass over them.
constexpr Eigen::Index kChunkVoxels = 2048;
constexpr int32_t kBlock = 128;
// Relabellings per product when every voxel's statistic is needed at once.
constexpr int32_t kClusterBlock = 16;

struct VoxelRows {
  Eigen::Index first, count;
};

// Double precision throughout: a voxel whose effect is large against its spread
// takes its variance as the difference of two nearly equal sums, and single
// precision there would move a t of 200 in its fourth digit.
using Matrix = Eigen::MatrixXd;

Eigen::Index testedCount(const std::vector<uint8_t>& mask) {
  return static_cast<Eigen::Index>(mask.size()) - std::count(mask.begin(), mask.end(), uint8_t{0});
}

// The tested voxels' values, a row per voxel and a column per subject.
Matrix testedValues(std::span<const float> values, int32_t subjects, const std::vector<uint8_t>& mask) {
  const auto voxels = static_cast<int64_t>(mask.size());
  Matrix matrix(testedCount(mask), subjects);
  for (int32_t s = 0; s < subjects; ++s) {
    const float* subject = values.data() + static_cast<std::size_t>(s) * static_cast<std::size_t>(voxels);
    Eigen::Index row = 0;
    for (int64_t v = 0; v < voxels; ++v)
      if (mask[static_cast<std::size_t>(v)]) matrix(row++, s) = subject[v];
  }
  return matrix;
}

// Loads one voxel's value (double) or two voxels' (__m128d); the arithmetic below
// is written once for both, through the compiler's vector operators.
template <typename D>
D load(const double* values) {
  if constexpr (std::is_same_v<D, double>) {
    return *values;
#if defined(__SSE2__)
  } else {
    return _mm_loadu_pd(values);
#endif
  }
}

template <typename D>
D atLeastZero(D value) {
  if constexpr (std::is_same_v<D, double>) {
    return std::max(value, 0.0);
#if defined(__SSE2__)
  } else {
    return _mm_max_pd(value, _mm_setzero_pd());
#endif
  }
}

// A group of n subjects' mean and the variance of that mean, from the sum and the
// sum of squares of their values.
struct GroupMoments {
  explicit GroupMoments(double n) : inverseN(1.0 / n), varianceScale(1.0 / ((n - 1.0) * n)) {}
  template <typename D>
  void of(D sum, D squares, D& mean, D& variance) const {
    mean = sum * inverseN;
    variance = atLeastZero<D>((squares - sum * mean) * varianceScale);
  }
  double inverseN, varianceScale;
};

// A relabelling's statistic at one voxel, taken as t |t| (t^2 for two tails), which
// orders the voxels as t (|t|) does without a square root. As in the group maps, a
// difference with no spread is infinite unless it is 0; 0 / 0 counts as 0.
struct SquaredT {
  double operator()(double difference, double variance) const {
    const double value = difference * std::abs(difference) / std::max(variance, 0.0);
    if (std::isnan(value)) return 0.0;
    return twoTails ? std::abs(value) : value;
  }
  bool twoTails;
};

// t back from the largest t |t|.
double tOfSquared(double squared) { return std::copysign(std::sqrt(std::abs(squared)), squared); }

// The largest t |t| of one relabelling over the voxels, two at a time: this pass
// costs as much as the matrix products that feed it when done a voxel at a time.
// `differenceAndVariance(v, difference, variance)` gives voxel v's.
template <typename Voxel>
double largestSquaredT(Eigen::Index voxels, Tail tail, Voxel differenceAndVariance) {
  const SquaredT squaredT{tail == Tail::Two};
  double largest = -std::numeric_limits<double>::infinity();
  Eigen::Index v = 0;
#if defined(__SSE2__)
  const __m128d sign = _mm_set1_pd(-0.0), zero = _mm_setzero_pd();
  __m128d best = _mm_set1_pd(largest);
  for (; v + 2 <= voxels; v += 2) {
    __m128d difference, variance;
    differenceAndVariance(v, difference, variance);
    __m128d value = _mm_div_pd(_mm_mul_pd(difference, _mm_andnot_pd(sign, difference)), _mm_max_pd(variance, zero));
    value = _mm_andnot_pd(_mm_cmpunord_pd(value, value), value);
    if (squaredT.twoTails) value = _mm_andnot_pd(sign, value);
    best = _mm_max_pd(value, best);
  }
  alignas(16) double lanes[2];
  _mm_store_pd(lanes, best);
  largest = std::max(lanes[0], lanes[1]);
#endif
  for (; v < voxels; ++v) {
    double difference, variance;
    differenceAndVariance(v, difference, variance);
    largest = std::max(largest, squaredT(difference, variance));
  }
  return largest;
}

// Each voxel's sum of squares, which no relabelling changes.
Eigen::VectorXd squaresOf(const Matrix& values) { return values.array().square().rowwise().sum().matrix(); }

// A one-sample test's sums under a block of sign flips, for a range of voxels.
class OneSampleSums {
 public:
  OneSampleSums(std::span<const float> values, int32_t subjects, const std::vector<uint8_t>& mask)
      : tested_(testedValues(values, subjects, mask)), squares_(squaresOf(tested_)), group_(subjects) {}

  Eigen::Index voxels() const { return tested_.rows(); }
  void multiply(VoxelRows rows, const Eigen::Map<const Matrix>& labels) {
    rows_ = rows;
    sums_.noalias() = tested_.middleRows(rows.first, rows.count) * labels;
  }
  // Voxel `first + v`'s mean and its variance under relabelling k of the block.
  template <typename D>
  void at(Eigen::Index v, Eigen::Index k, D& difference, D& variance) const {
    group_.of(load<D>(sums_.col(k).data() + v), load<D>(squares_.data() + rows_.first + v), difference, variance);
  }

 private:
  Matrix tested_;
  Eigen::VectorXd squares_;
  GroupMoments group_;
  VoxelRows rows_{};
  Matrix sums_;
};

// Welch's test's sums under a block of splits: the first group's sums and sums of
// squares, the second's being the totals less those.
class WelchSums {
 public:
  WelchSums(std::span<const float> first, int32_t firstSubjects, std::span<const float> second,
            int32_t secondSubjects, const std::vector<uint8_t>& mask)
      : tested_(testedCount(mask), firstSubjects + secondSubjects), firstGroup_(firstSubjects),
        secondGroup_(secondSubjects) {
    tested_.leftCols(firstSubjects) = testedValues(first, firstSubjects, mask);
    tested_.rightCols(secondSubjects) = testedValues(second, secondSubjects, mask);
    // Welch's t does not change when a voxel's values all move by the same amount;
    // centred, the sums of squares lose less precision to a large mean.
    tested_.colwise() -= tested_.rowwise().mean();
    sums_ = tested_.rowwise().sum();
    squares_ = squaresOf(tested_);
    squared_ = tested_.array().square().matrix();
  }

  Eigen::Index voxels() const { return tested_.rows(); }
  void multiply(VoxelRows rows, const Eigen::Map<const Matrix>& labels) {
    rows_ = rows;
    sumsInFirst_.noalias() = tested_.middleRows(rows.first, rows.count) * labels;
    squaresInFirst_.noalias() = squared_.middleRows(rows.first, rows.count) * labels;
  }
  template <typename D>
  void at(Eigen::Index v, Eigen::Index k, D& difference, D& variance) const {
    const D sum1 = load<D>(sumsInFirst_.col(k).data() + v), squares1 = load<D>(squaresInFirst_.col(k).data() + v);
    D mean1, variance1, mean2, variance2;
    firstGroup_.of(sum1, squares1, mean1, variance1);
    secondGroup_.of(load<D>(sums_.data() + rows_.first + v) - sum1,
                    load<D>(squares_.data() + rows_.first + v) - squares1, mean2, variance2);
    difference = mean1 - mean2;
    variance = variance1 + variance2;
  }

 private:
  Matrix tested_;
  GroupMoments firstGroup_, secondGroup_;
  Eigen::VectorXd sums_, squares_;
  Matrix squared_;
  VoxelRows rows_{};
  Matrix sumsInFirst_, squaresInFirst_;
};

// The largest statistic of every relabelling. The voxels go a chunk at a time,
// and each chunk's relabellings a block at a time: a chunk's sums under a block
// stay in the cache for the pass that follows the product, and the product packs
// the chunk's values once for a whole block of relabellings.
template <typename Sums>
MaximumDistribution maximaOver(const Relabellings& relabellings, Sums& test, Tail tail) {
  std::vector<double> largest(static_cast<std::size_t>(relabellings.count), -std::numeric_limits<double>::infinity());
  for (Eigen::Index first = 0; first < test.voxels(); first += kChunkVoxels) {
    const VoxelRows rows{first, std::min(kChunkVoxels, test.voxels() - first)};
    for (int32_t k = 0; k < relabellings.count; k += kBlock) {
      const int32_t block = std::min(kBlock, relabellings.count - k);
      test.multiply(rows, Eigen::Map<const Matrix>(relabellings.relabelling(k), relabellings.subjects, block));
      for (int32_t j = 0; j < block; ++j) {
        double& chunkLargest = largest[static_cast<std::size_t>(k + j)];
        chunkLargest = std::max(chunkLargest, largestSquaredT(rows.count, tail, [&]<typename D>(
                                                                  Eigen::Index v, D& difference, D& variance) {
                                  test.at(v, j, difference, variance);
                                }));
      }
    }
  }
  MaximumDistribution distribution;
  distribution.exhaustive = relabellings.exhaustive;
  for (double squared : largest) distribution.maxima.push_back(tOfSquared(squared));
  return distribution;
}

// The largest cluster of every relabelling's map, a block of relabellings at a
// time over all voxels, since a cluster may span the volume.
template <typename Sums>
MaximumDistribution clusterMaximaOver(const Relabellings& relabellings, Sums& test, Tail tail,
                                      const std::vector<uint8_t>& mask, const ClusterSettings& clusters) {
  std::vector<int64_t> gridIndex;  // of each tested voxel
  for (std::size_t v = 0; v < mask.size(); ++v)
    if (mask[v]) gridIndex.push_back(static_cast<int64_t>(v));
  ClusterFinder finder(clusters.grid, clusters.connectivity);
  std::vector<int8_t> sides(mask.size(), 0);
  const double formingSquared = clusters.formingT * clusters.formingT;
  MaximumDistribution distribution;
  distribution.exhaustive = relabellings.exhaustive;
  for (int32_t k = 0; k < relabellings.count; k += kClusterBlock) {
    const int32_t block = std::min(kClusterBlock, relabellings.count - k);
    test.multiply({0, test.voxels()}, Eigen::Map<const Matrix>(relabellings.relabelling(k), relabellings.subjects, block));
    for (int32_t j = 0; j < block; ++j) {
      for (Eigen::Index v = 0; v < test.voxels(); ++v) {
        double difference, variance;
        test.at(v, j, difference, variance);
        // |t| >= formingT without a division: difference^2 >= formingT^2 variance,
        // a difference of 0 being a t of 0 even without spread.
        const bool beyond = difference != 0.0 && difference * difference >= formingSquared * variance;
        sides[static_cast<std::size_t>(gridIndex[static_cast<std::size_t>(v)])] =
            !beyond ? 0 : difference > 0.0 ? 1 : tail == Tail::Two ? -1 : 0;
      }
      distribution.maxima.push_back(static_cast<double>(finder.largest(sides)));
    }
  }
  return distribution;
}

}  // namespace

MaximumDistribution oneSampleMaxima(std::span<const float> values, int32_t subjects,
                                    const std::vector<uint8_t>& mask, Tail tail,
                                    const PermutationSettings& settings) {
  OneSampleSums test(values, subjects, mask);
  return maximaOver(signFlips(subjects, settings.permutations, settings.seed), test, tail);
}

MaximumDistribution welchMaxima(std::span<const float> first, int32_t firstSubjects,
                                std::span<const float> second, int32_t secondSubjects,
                                const std::vector<uint8_t>& mask, Tail tail,
                                const PermutationSettings& settings) {
  WelchSums test(first, firstSubjects, second, secondSubjects, mask);
  return maximaOver(groupSplits(firstSubjects, secondSubjects, settings.permutations, settings.seed), test, tail);
}

MaximumDistribution oneSampleClusterMaxima(std::span<const float> values, int32_t subjects,
                                           const std::vector<uint8_t>& mask, Tail tail,
                                           const PermutationSettings& settings, const ClusterSettings& clusters) {
  OneSampleSums test(values, subjects, mask);
  return clusterMaximaOver(signFlips(subjects, settings.permutations, settings.seed), test, tail, mask, clusters);
}

MaximumDistribution welchClusterMaxima(std::span<const float> first, int32_t firstSubjects,
                                       std::span<const float> second, int32_t secondSubjects,
                                       const std::vector<uint8_t>& mask, Tail tail,
                                       const PermutationSettings& settings, const ClusterSettings& clusters) {
  WelchSums test(first, firstSubjects, second, secondSubjects, mask);
  return clusterMaximaOver(groupSplits(firstSubjects, secondSubjects, settings.permutations, settings.seed), test,
                           tail, mask, clusters);
}

}  // namespace cohortix::host
