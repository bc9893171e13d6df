// A subject's own anatomy: the affine drawn for it is a pure function of (seed,
// replicate, subject), its parameters lie within their ranges and are spread
// evenly over them, its matrix is the scaling, rotation and translation it names,
// and the head moved by it is the template moved by whole millimetres when the
// affine is a whole-millimetre shift.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "host/anatomy/anatomy.h"
#include "host/anatomy/subject_variation.h"

namespace cohortix::host::anatomy {
namespace {

TEST(SubjectVariation, TheAffineIsTheKeysAloneAndWithinItsRanges) {
  const VariationRanges ranges = kVariationRanges;
  constexpr int kSubjects = 3000;
  double sum[9] = {}, squares[9] = {};
  for (uint32_t subject = 1; subject <= kSubjects; ++subject) {
    const VariationKey key{42, 3, subject};
    const SubjectAffine a = drawSubjectAffine(key, ranges);
    const SubjectAffine again = drawSubjectAffine(key, ranges);
    ASSERT_EQ(a.matrix, again.matrix);
    const double scaled[9] = {(a.scale[0] - 1) / ranges.scale, (a.scale[1] - 1) / ranges.scale,
                              (a.scale[2] - 1) / ranges.scale, a.rotationDegrees[0] / ranges.rotationDegrees,
                              a.rotationDegrees[1] / ranges.rotationDegrees,
                              a.rotationDegrees[2] / ranges.rotationDegrees, a.translationMm[0] / ranges.translationMm,
                              a.translationMm[1] / ranges.translationMm, a.translationMm[2] / ranges.translationMm};
    for (int p = 0; p < 9; ++p) {
      ASSERT_LE(std::fabs(scaled[p]), 1.0) << "parameter " << p << " of subject " << subject;
      sum[p] += scaled[p];
      squares[p] += scaled[p] * scaled[p];
    }
    // The matrix is R S then T: its columns' lengths are the scales, its
    // translation the one drawn, and the inverse undoes it.
    for (int c = 0; c < 3; ++c) {
      const double length = std::hypot(a.matrix[0][c], a.matrix[1][c], a.matrix[2][c]);
      ASSERT_NEAR(length, a.scale[c], 1e-12);
      ASSERT_EQ(a.matrix[c][3], a.translationMm[c]);
    }
    const Point p{30, -40, 55};
    const Point back = applied(a.inverse, applied(a.matrix, p));
    for (int r = 0; r < 3; ++r) ASSERT_NEAR(back[r], p[r], 1e-9);
  }
  // Uniform on [-1, 1]: mean 0, variance 1/3, each within five standard errors.
  for (int p = 0; p < 9; ++p) {
    const double mean = sum[p] / kSubjects, variance = squares[p] / kSubjects - mean * mean;
    EXPECT_NEAR(mean, 0.0, 5 * std::sqrt(1.0 / 3 / kSubjects)) << "parameter " << p;
    EXPECT_NEAR(variance, 1.0 / 3, 5 * std::sqrt(4.0 / 45 / kSubjects)) << "parameter " << p;
  }
  // Another seed, replicate or subject: another anatomy.
  const Affine first = drawSubjectAffine({42, 3, 1}).matrix;
  EXPECT_NE(first, drawSubjectAffine({43, 3, 1}).matrix);
  EXPECT_NE(first, drawSubjectAffine({42, 4, 1}).matrix);
  EXPECT_NE(first, drawSubjectAffine({42, 3, 2}).matrix);
}

TEST(SubjectVariation, AWholeMillimetreShiftMovesTheHeadByWholeVoxels) {
  Anatomy anatomy;
  anatomy.grid.start = {120, 118, 116};
  anatomy.grid.dims = {9, 10, 11};
  anatomy.head.resize(anatomy.grid.voxels());
  for (std::size_t v = 0; v < anatomy.head.size(); ++v) anatomy.head[v] = static_cast<uint8_t>(v * 7 % 251);
  SubjectAffine shift;
  shift.translationMm = {2, -1, 3};  // Talairach x, y, z
  for (int r = 0; r < 3; ++r) {
    shift.matrix[r][r] = shift.inverse[r][r] = 1;
    shift.matrix[r][3] = shift.translationMm[r];
    shift.inverse[r][3] = -shift.translationMm[r];
  }
  const std::vector<float> moved = movedHead(anatomy, shift);
  // Grid x follows -Talairach y, y follows -Talairach z, z follows -Talairach x:
  // the subject's voxel (x, y, z) holds the template's (x - 1, y + 3, z + 2).
  const AnatomyGrid& g = anatomy.grid;
  for (int32_t z = 0; z < g.dims[2]; ++z)
    for (int32_t y = 0; y < g.dims[1]; ++y)
      for (int32_t x = 0; x < g.dims[0]; ++x) {
        const int64_t from = g.index(g.start[0] + x - 1, g.start[1] + y + 3, g.start[2] + z + 2);
        const float expected = from < 0 ? 0.0f : anatomy.head[static_cast<std::size_t>(from)];
        ASSERT_FLOAT_EQ(moved[static_cast<std::size_t>(g.index(g.start[0] + x, g.start[1] + y, g.start[2] + z))],
                        expected)
            << x << " " << y << " " << z;
      }
}

}  // namespace
}  // namespace cohortix::host::anatomy
