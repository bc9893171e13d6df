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

// Runs the voxels a chunk at a time, and each chunk's relabellings a block at a
// time, through `chunkMaxima(rows, labels, largest)`: `rows` the chunk's first
// voxel and count, labels subjects x block, and `largest` the block's running
// largest t |t|, raised to the chunk's. A chunk's sums under a block stay in the
// cache for the pass that follows the product, and the product packs the chunk's
// values once for a whole block of relabellings.
template <typename ChunkMaxima>
MaximumDistribution maximaOver(const Relabellings& relabellings, Eigen::Index voxels, ChunkMaxima chunkMaxima) {
  std::vector<double> largest(static_cast<std::size_t>(relabellings.count), -std::numeric_limits<double>::infinity());
  for (Eigen::Index first = 0; first < voxels; first += kChunkVoxels) {
    const VoxelRows rows{first, std::min(kChunkVoxels, voxels - first)};
    for (int32_t k = 0; k < relabellings.count; k += kBlock) {
      const int32_t block = std::min(kBlock, relabellings.count - k);
      chunkMaxima(rows, Eigen::Map<const Matrix>(relabellings.relabelling(k), relabellings.subjects, block),
                  largest.data() + k);
    }
  }
  MaximumDistribution distribution;
  distribution.exhaustive = relabellings.exhaustive;
  for (double squared : largest) distribution.maxima.push_back(tOfSquared(squared));
  return distribution;
}

}  // namespace

MaximumDistribution oneSampleMaxima(std::span<const float> values, int32_t subjects,
                                    const std::vector<uint8_t>& mask, Tail tail,
                                    const PermutationSettings& settings) {
  const Matrix tested = testedValues(values, subjects, mask);
  const Eigen::VectorXd squares = squaresOf(tested);
  const GroupMoments group(subjects);
  Matrix sums;
  return maximaOver(signFlips(subjects, settings.permutations, settings.seed), tested.rows(),
                    [&](VoxelRows rows, const Eigen::Map<const Matrix>& labels, double* largest) {
                      sums.noalias() = tested.middleRows(rows.first, rows.count) * labels;
                      const double* square = squares.data() + rows.first;
                      for (Eigen::Index k = 0; k < labels.cols(); ++k) {
                        const double* sum = sums.col(k).data();
                        largest[k] = std::max(largest[k], largestSquaredT(rows.count, tail, [&]<typename D>(
                                                                Eigen::Index v, D& difference, D& variance) {
                          group.of(load<D>(sum + v), load<D>(square + v), difference, variance);
                        }));
                      }
                    });
}

MaximumDistribution welchMaxima(std::span<const float> first, int32_t firstSubjects,
                                std::span<const float> second, int32_t secondSubjects,
                                const std::vector<uint8_t>& mask, Tail tail,
                                const PermutationSettings& settings) {
  const int32_t subjects = firstSubjects + secondSubjects;
  Matrix tested(testedCount(mask), subjects);
  tested.leftCols(firstSubjects) = testedValues(first, firstSubjects, mask);
  tested.rightCols(secondSubjects) = testedValues(second, secondSubjects, mask);
  // Welch's t does not change when a voxel's values all move by the same amount;
  // centred, the sums of squares lose less precision to a large mean.
  tested.colwise() -= tested.rowwise().mean();
  const Eigen::VectorXd sums = tested.rowwise().sum();
  const Eigen::VectorXd squares = squaresOf(tested);
  const Matrix squared = tested.array().square().matrix();
  const GroupMoments firstGroup(firstSubjects), secondGroup(secondSubjects);
  Matrix sumsInFirst, squaresInFirst;
  return maximaOver(
      groupSplits(firstSubjects, secondSubjects, settings.permutations, settings.seed), tested.rows(),
      [&](VoxelRows rows, const Eigen::Map<const Matrix>& labels, double* largest) {
        sumsInFirst.noalias() = tested.middleRows(rows.first, rows.count) * labels;
        squaresInFirst.noalias() = squared.middleRows(rows.first, rows.count) * labels;
        const double* sum = sums.data() + rows.first;
        const double* square = squares.data() + rows.first;
        for (Eigen::Index k = 0; k < labels.cols(); ++k) {
          const double* s1 = sumsInFirst.col(k).data();
          const double* q1 = squaresInFirst.col(k).data();
          largest[k] = std::max(largest[k], largestSquaredT(rows.count, tail, [&]<typename D>(
                                                  Eigen::Index v, D& difference, D& variance) {
            const D sum1 = load<D>(s1 + v), squares1 = load<D>(q1 + v);
            D mean1, variance1, mean2, variance2;
            firstGroup.of(sum1, squares1, mean1, variance1);
            secondGroup.of(load<D>(sum + v) - sum1, load<D>(square + v) - squares1, mean2, variance2);
            difference = mean1 - mean2;
            variance = variance1 + variance2;
          }));
        }
      });
}

}  // namespace cohortix::host
