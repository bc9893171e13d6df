// The host's two-gamma response: where it peaks and dips, and that a long block
// convolved with it settles at exactly 1.0 whatever the repetition time.

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "host/documents/design_matrix.h"
#include "host/documents/two_gamma_hrf.h"

namespace cohortix::host {
namespace {

TEST(TwoGammaResponse, PeaksNearFiveSecondsAndDipsNearSixteen) {
  double peak = 0.0, dip = 0.0;
  for (double t = 0.0; t <= 32.0; t += 0.01) {
    if (twoGammaResponse(t) > twoGammaResponse(peak)) peak = t;
    if (twoGammaResponse(t) < twoGammaResponse(dip)) dip = t;
  }
  EXPECT_GE(peak, 4.9);
  EXPECT_LE(peak, 6.0);
  EXPECT_GE(dip, 15.0);
  EXPECT_LE(dip, 16.5);
  EXPECT_LT(twoGammaResponse(dip), 0.0);
}

TEST(TwoGammaKernel, CoversThirtyTwoSecondsAtTheRepetitionTime) {
  EXPECT_EQ(twoGammaKernel(2.0).size(), 17u);  // 0, 2, ..., 32 s
  EXPECT_EQ(twoGammaKernel(1.0).size(), 33u);
  const std::vector<double> kernel = twoGammaKernel(2.0);
  EXPECT_EQ(kernel[0], 0.0);
  // The largest sample is the one at 4 or 6 s.
  const auto largest = std::max_element(kernel.begin(), kernel.end()) - kernel.begin();
  EXPECT_TRUE(largest == 2 || largest == 3) << largest;
}

TEST(TwoGammaKernel, LongBlockReachesAPlateauOfExactlyOne) {
  for (const double tr : {0.5, 0.7, 1.0, 2.0, 2.5, 3.0, kMaxRepetitionTime}) {
    std::vector<float> values(400, 0.0f);
    setValuesFromIntervals(values, {{11, 400}}, 1.0f);
    convolveInPlace(values, twoGammaKernel(tr));
    EXPECT_EQ(values.back(), 1.0f) << "TR " << tr;
    EXPECT_EQ(values[9], 0.0f) << "nothing before the block";
  }
}

TEST(TwoGammaKernel, BlockResponseRisesAfterItsOnsetAndPeaksAround5To6Seconds) {
  std::vector<float> values(60, 0.0f);
  setValuesFromIntervals(values, {{1, 1}}, 1.0f);
  convolveInPlace(values, twoGammaKernel(1.0));
  const auto peak = std::max_element(values.begin(), values.end()) - values.begin();
  EXPECT_TRUE(peak == 5 || peak == 6) << peak;
}

TEST(TwoGammaKernel, RepetitionTimeTooCoarseForTheResponseLeavesValuesAlone) {
  EXPECT_EQ(twoGammaKernel(40.0), std::vector<double>{1.0});
}

TEST(PredictorFromIntervals, ClipsBoundsAndTreatsReversedIntervalsAsEmpty) {
  std::vector<float> values(6, 9.0f);
  setValuesFromIntervals(values, {{5, 4}, {-3, 1}, {6, 100}}, 1.0f);
  EXPECT_EQ(values, (std::vector<float>{1, 0, 0, 0, 0, 1}));
  setValuesFromIntervals(values, {{7, 9}, {0, 0}, {3, 2}}, 1.0f);
  EXPECT_EQ(values, (std::vector<float>(6, 0.0f)));
}

}  // namespace
}  // namespace cohortix::host
