// The anatomy's geometry and tissue classes against independent facts: the
// icbm2tal transform and its inverse undo each other and move MNI points by the
// published few millimetres; the grid puts Talairach 0 at voxel 128 in the
// plug-in's orientation; the mixture fitted to three known Gaussians finds them.

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "host/anatomy/mni_talairach.h"
#include "host/anatomy/tissue_classes.h"

namespace cohortix::host::anatomy {
namespace {

TEST(MniTalairach, TheTransformAndItsInverseUndoEachOtherAndShrinkTheBrainSlightly) {
  for (const Point mni : {Point{0, 0, 0}, Point{40, -55, -10}, Point{-60, 30, 70}}) {
    const Point back = mniFromTalairach(talairachFromMni(mni));
    for (int r = 0; r < 3; ++r) EXPECT_NEAR(back[r], mni[r], 1e-9);
  }
  // Talairach's brain is smaller: a point 60 mm out lands a few millimetres in.
  const Point tal = talairachFromMni({60, 0, 0});
  EXPECT_GT(tal[0], 54.0);
  EXPECT_LT(tal[0], 58.0);
}

TEST(MniTalairach, TheGridPutsTalairachZeroAtVoxel128InThePluginsOrientation) {
  const Point origin = gridOfTalairach({0, 0, 0});
  for (double c : origin) EXPECT_EQ(c, 128.0);
  // x grows as Talairach y falls, y as Talairach z falls, z as Talairach x falls.
  const Point moved = gridOfTalairach({10, 20, 30});
  EXPECT_EQ(moved[0], 108.0);
  EXPECT_EQ(moved[1], 98.0);
  EXPECT_EQ(moved[2], 118.0);
  const Point tal = talairachOfGrid(moved);
  EXPECT_EQ(tal[0], 10.0);
  EXPECT_EQ(tal[1], 20.0);
  EXPECT_EQ(tal[2], 30.0);
}

TEST(TissueClasses, AMixtureOfThreeKnownGaussiansIsFoundAgain) {
  std::mt19937 random(7);
  const double means[3] = {40.0, 80.0, 110.0}, sds[3] = {8.0, 7.0, 5.0}, shares[3] = {0.2, 0.45, 0.35};
  std::vector<float> intensities;
  for (int c = 0; c < 3; ++c) {
    std::normal_distribution<double> draw(means[c], sds[c]);
    for (int i = 0; i < static_cast<int>(shares[c] * 200000); ++i)
      intensities.push_back(static_cast<float>(std::max(draw(random), 0.5)));
  }
  const TissueClasses classes = fitTissueClasses(intensities);
  for (int c = 0; c < 3; ++c) {
    EXPECT_NEAR(classes.mean[c], means[c], 1.0) << c;
    EXPECT_NEAR(classes.sd[c], sds[c], 1.0) << c;
    EXPECT_NEAR(classes.weight[c], shares[c], 0.02) << c;
  }
  // Each class's own mean belongs to it.
  EXPECT_GT(classes.at(means[kCsf])[kCsf], 0.9f);
  EXPECT_GT(classes.at(means[kGrey])[kGrey], 0.9f);
  EXPECT_GT(classes.at(means[kWhite])[kWhite], 0.9f);
}

}  // namespace
}  // namespace cohortix::host::anatomy
