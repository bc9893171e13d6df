// Motion regressors from the tables realignment tools write: a header naming the
// six parameters among other columns (their n/a left alone), a header of six other
// names, or six bare numbers per row; each column centred.

#include <gtest/gtest.h>

#include "host/analysis/motion_regressors.h"

namespace cohortix::host {
namespace {

TEST(MotionRegressors, TakeTheNamedColumnsOfAWiderTableAndCentreThem) {
  const std::string text =
      "global_signal\trot_z\ttrans_x\ttrans_y\ttrans_z\trot_x\trot_y\tframewise_displacement\r\n"
      "5\t0.01\t1\t2\t3\t0.1\t0.2\tn/a\r\n"
      "7\t0.03\t3\t2\t5\t0.3\t0.2\t2.1\r\n";
  const Result<NuisanceRegressors> table = parseMotionRegressors(text, "confounds.tsv", 2);
  ASSERT_TRUE(table) << table.status().message();
  Eigen::MatrixXd expected(2, 6);
  expected << -1, 0, -1, -0.1, 0, -0.01,  //
      1, 0, 1, 0.1, 0, 0.01;
  EXPECT_TRUE(table->values.isApprox(expected, 1e-12)) << table->values;
  EXPECT_EQ(table->names.front(), "motion regressor \"trans_x\"");
}

TEST(MotionRegressors, ReadSixColumnsWithOrWithoutAHeader) {
  for (const std::string& text : {std::string("a b c d e f\n1 2 3 4 5 6\n3 2 1 0 1 2\n"),
                                  std::string("1 2 3 4 5 6\n\n3  2\t1 0 1 2")}) {
    const Result<NuisanceRegressors> table = parseMotionRegressors(text, "rp.txt", 2);
    ASSERT_TRUE(table) << table.status().message();
    EXPECT_DOUBLE_EQ(table->values(0, 0), -1.0);
    EXPECT_DOUBLE_EQ(table->values(1, 5), -2.0);
  }
  EXPECT_EQ(parseMotionRegressors("a b c\n1 2 3\n", "x.tsv", 1).status().message(),
            "x.tsv:1: expected a header naming trans_x, trans_y, trans_z, rot_x, rot_y and rot_z, or six "
            "columns, found 3 columns");
  EXPECT_EQ(parseMotionRegressors("1 2 3 4 5 inf\n", "x.tsv", 1).status().message(),
            "x.tsv:1: expected a number in column 6, found \"inf\"");
}

TEST(MotionRegressors, PatternsNameEachSubjectsFile) {
  EXPECT_EQ(motionRegressorFile("rp/{subject}/{subject}.txt", "sub-01").string(), "rp/sub-01/sub-01.txt");
  EXPECT_EQ(motionRegressorSetting("").value().source, MotionRegressorSetting::Source::Truth);
  EXPECT_EQ(motionRegressorSetting("true").value().recorded(), "truth");
  EXPECT_FALSE(motionRegressorSetting("rp.txt"));
}

}  // namespace
}  // namespace cohortix::host
