// The Slurm script of a plan: every design gets exactly one array task, across as
// many submissions as the cluster's array size needs, and no value can break the
// directives sbatch reads.

#include <gtest/gtest.h>

#include "host/sweep/slurm_script.h"

namespace cohortix::host::sweep {
namespace {

std::size_t countOf(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++count;
  return count;
}

TEST(SlurmScript, LargePlansAreSplitIntoArraysTheClusterAccepts) {
  SlurmOptions options;
  options.throttle = 20;
  options.executable = "/opt/cohortix/bin/cohortix";
  Result<SlurmScript> script =
      slurmScript("/home/me/plan", 2500, "/home/me/plan/sweep.sbatch", options);
  ASSERT_TRUE(script) << script.status().message();
  EXPECT_EQ(countOf(script->text, "#SBATCH --array=1-1000%20\n"), 1u);
  EXPECT_EQ(
      script->furtherSubmissions,
      (std::vector<std::string>{"sbatch --array=1-1000%20 --export=ALL,COHORTIX_SWEEP_OFFSET=1000 "
                                "/home/me/plan/sweep.sbatch",
                                "sbatch --array=1-500%20 --export=ALL,COHORTIX_SWEEP_OFFSET=2000 "
                                "/home/me/plan/sweep.sbatch"}));
  EXPECT_NE(script->text.find("\nexec /opt/cohortix/bin/cohortix sweep job /home/me/plan "
                              "\"$design\"\n"),
            std::string::npos);

  script = slurmScript("/home/me/plan", 7, "/home/me/plan/sweep.sbatch", options);
  ASSERT_TRUE(script);
  EXPECT_EQ(countOf(script->text, "#SBATCH --array=1-7%20\n"), 1u);
  EXPECT_TRUE(script->furtherSubmissions.empty());
  EXPECT_EQ(countOf(script->text, "--partition"), 0u);
}

TEST(SlurmScript, ValuesThatWouldBreakADirectiveAreRefused) {
  SlurmOptions options;
  EXPECT_FALSE(slurmScript("/home/me/100%/plan", 4, "/home/me/s.sbatch", options));
  EXPECT_FALSE(slurmScript("/home/me/my plan", 4, "/home/me/s.sbatch", options));
  options.partition = "short\n#SBATCH --mem=1T";
  EXPECT_FALSE(slurmScript("/home/me/plan", 4, "/home/me/s.sbatch", options));
}

}  // namespace
}  // namespace cohortix::host::sweep
