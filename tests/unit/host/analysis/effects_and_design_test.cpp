// What the analysis tests and the model it fits: the factorial contrasts span
// exactly the cells' differences, cell names that form no grid make one factor,
// contrasts on the command line are read or refused whole, and designs without a
// solution or voxels without signal are told apart from the subject's baseline.

#include <gtest/gtest.h>

#include <Eigen/Dense>
#include <vector>

#include "host/analysis/effects.h"
#include "host/analysis/first_level_fit.h"

namespace cohortix::host {
namespace {

std::vector<std::string> cellNamesOf(const std::vector<std::vector<std::string>>& levels) {
  std::vector<std::string> names;
  for (const std::string& c : levels.size() > 2 ? levels[2] : std::vector<std::string>{""})
    for (const std::string& b : levels[1])
      for (const std::string& a : levels[0])
        names.push_back(a + " x " + b + (c.empty() ? "" : " x " + c));
  return names;
}

// Together with the grand mean, the contrasts of a full factorial span every
// combination of the cells, and each sums to zero (a difference, not a level).
TEST(FactorialContrasts, SpanTheCellsDifferencesForEveryLayout) {
  const std::vector<std::vector<std::vector<std::string>>> layouts{
      {{"A1", "A2"}, {"B1", "B2"}},
      {{"A1", "A2", "A3"}, {"B1", "B2"}},
      {{"A1", "A2"}, {"B1", "B2", "B3"}, {"C1", "C2"}}};
  for (const auto& levels : layouts) {
    const std::vector<std::string> names = cellNamesOf(levels);
    const std::vector<WithinFactor> factors = factorsFromCellNames(names);
    ASSERT_EQ(factors.size(), levels.size());
    for (std::size_t f = 0; f < levels.size(); ++f) EXPECT_EQ(factors[f].levels, levels[f]);
    const std::vector<Effect> contrasts = factorialContrasts(factors);
    ASSERT_EQ(contrasts.size(), names.size() - 1);
    Eigen::MatrixXd rows(names.size(), names.size());
    rows.row(0).setConstant(1.0);
    for (std::size_t e = 0; e < contrasts.size(); ++e) {
      const Eigen::Map<const Eigen::RowVectorXd> weights(contrasts[e].weights.data(),
                                                         static_cast<Eigen::Index>(names.size()));
      EXPECT_NEAR(weights.sum(), 0.0, 1e-12) << contrasts[e].name;
      rows.row(static_cast<Eigen::Index>(e + 1)) = weights;
    }
    EXPECT_EQ(Eigen::FullPivLU<Eigen::MatrixXd>(rows).rank(), static_cast<Eigen::Index>(names.size()));
  }
  const std::vector<Effect> twoByTwo = factorialContrasts(factorsFromCellNames(cellNamesOf({{"A1", "A2"}, {"B1", "B2"}})));
  EXPECT_EQ(twoByTwo[0].name, "A1 - A2");
  EXPECT_EQ(twoByTwo[0].weights, (std::vector<double>{0.5, -0.5, 0.5, -0.5}));
  EXPECT_EQ(twoByTwo[2].name, "(A1 - A2) x (B1 - B2)");
  EXPECT_EQ(twoByTwo[2].weights, (std::vector<double>{1, -1, -1, 1}));
}

TEST(FactorialContrasts, NamesOutOfGridOrderMakeOneFactor) {
  const std::vector<std::string> names{"A1 x B1", "A1 x B2", "A2 x B1", "A2 x B2"};  // B fastest
  const std::vector<WithinFactor> factors = factorsFromCellNames(names);
  ASSERT_EQ(factors.size(), 1u);
  EXPECT_EQ(factors[0].levels, names);
}

TEST(ContrastText, ReadsWeightsOrSaysWhatIsWrong) {
  const Result<Effect> effect = parseContrast(" Faces vs rest : 2 -1 -1 ", 3);
  ASSERT_TRUE(effect.isOk());
  EXPECT_EQ(effect.value().name, "Faces vs rest");
  EXPECT_EQ(effect.value().weights, (std::vector<double>{2, -1, -1}));
  EXPECT_EQ(parseContrast("x: 1 -1", 3).status().message(),
            "contrast \"x\" has 2 weights; the design has 3 cells");
  EXPECT_EQ(parseContrast("x: 1 one 0", 3).status().message(),
            "contrast \"x\": expected a weight, found \"one\"");
  EXPECT_EQ(parseContrast("1 -1 0", 3).status().message(),
            "expected \"name: w1 w2 ...\", found \"1 -1 0\"");
  EXPECT_EQ(parseContrast("x: 0 0 0", 3).status().message(), "contrast \"x\" has only zero weights");
}

std::vector<Predictor> onOff(int32_t volumes) {
  Predictor on{"On", std::vector<float>(volumes)};
  for (int32_t t = 0; t < volumes; ++t) on.values[t] = (t / 10) % 2 == 1 ? 1.0f : 0.0f;
  return {on};
}

TEST(FirstLevelModel, RefusesDesignsWithoutASolution) {
  FirstLevelOptions options;
  std::vector<Predictor> predictors = onOff(100);
  predictors.push_back({"Never", std::vector<float>(100, 0.0f)});
  EXPECT_EQ(firstLevelModel(predictors, 100, options).status().message(),
            "predictor \"Never\" is zero at every volume, so its effect cannot be estimated");
  predictors[1] = {"Off", std::vector<float>(100)};
  for (int t = 0; t < 100; ++t) predictors[1].values[t] = 1.0f - predictors[0].values[t];
  EXPECT_EQ(firstLevelModel(predictors, 100, options).status().message(),
            "the regressors are linearly dependent: a predictor is a combination of the others, "
            "the intercept and the drift terms");
  options.highpassSeconds = 2.0;  // a cosine for nearly every volume
  EXPECT_EQ(firstLevelModel(onOff(100), 100, options).status().message(),
            "the model has 101 regressors for 100 volumes and no degrees of freedom left for the noise");
  EXPECT_EQ(firstLevelModel(onOff(90), 100, {}).status().message(),
            "predictor \"On\" has 90 values for 100 volumes");
}

// Voxels outside the head (signal near 0) neither count towards the baseline nor
// enter the mask; percentages refer to the level of the voxels with signal.
TEST(FirstLevelModel, BaselineAndMaskComeFromTheVoxelsWithSignal) {
  constexpr int32_t kVolumes = 100;
  const std::vector<Predictor> predictors = onOff(kVolumes);
  std::vector<float> data;
  for (int v = 0; v < 4; ++v)
    for (int32_t t = 0; t < kVolumes; ++t) {
      const float level = v < 2 ? 500.0f : 0.5f;
      data.push_back(level * (1.0f + 0.03f * predictors[0].values[t]) + (t % 2 ? 0.01f : -0.01f));
    }
  const Result<FirstLevelFit> fit = fitFirstLevel({data.data(), 4, kVolumes}, predictors, {});
  ASSERT_TRUE(fit.isOk()) << fit.status().message();
  EXPECT_NEAR(fit.value().baseline, 500.0, 1e-3);
  EXPECT_EQ(fit.value().mask, (std::vector<uint8_t>{1, 1, 0, 0}));
  EXPECT_NEAR(fit.value().beta(0, 0), 3.0, 1e-4);
}

}  // namespace
}  // namespace cohortix::host
