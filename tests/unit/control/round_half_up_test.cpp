// Rounding halves upwards, the rule by which region centres, their jitter and
// their cubes land on whole VTC voxels.

#include "control/round_half_up.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

namespace cohortix {
namespace {

TEST(RoundHalfUp, RoundsHalvesTowardsPlusInfinity) {
  const struct {
    double x;
    int32_t rounded;
  } cases[] = {{2.5, 3},   {2.4999, 2}, {-2.5, -2}, {-2.5001, -3}, {0.0, 0},
               {-0.0, 0},  {-0.4, 0},   {-0.5, 0},  {-0.6, -1},    {-1.5, -1},
               {-1.0, -1}, {7.0, 7}};
  for (const auto& c : cases) EXPECT_EQ(roundHalfUp(c.x), c.rounded) << c.x;
}

TEST(RoundHalfUp, SaturatesOutsideTheInt32Range) {
  EXPECT_EQ(roundHalfUp(2147483646.5), INT32_MAX);
  EXPECT_EQ(roundHalfUp(1e12), INT32_MAX);
  EXPECT_EQ(roundHalfUp(HUGE_VAL), INT32_MAX);
  EXPECT_EQ(roundHalfUp(-2147483648.5), INT32_MIN);
  EXPECT_EQ(roundHalfUp(-2147483647.6), INT32_MIN);
  EXPECT_EQ(roundHalfUp(-1e12), INT32_MIN);
  EXPECT_EQ(roundHalfUp(-HUGE_VAL), INT32_MIN);
  EXPECT_EQ(roundHalfUp(std::nan("")), 0);
}

}  // namespace
}  // namespace cohortix
