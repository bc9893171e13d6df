// Planning a sweep: the sweep file names items and host options to vary, every
// combination is one design in a fixed order, the manifest reads back as written,
// and a design the control file reader refuses stops the plan where it stands.

#include <gtest/gtest.h>

#include <fstream>

#include "host/sweep/design_job.h"
#include "host/sweep/manifest.h"
#include "host/sweep/sweep_file.h"
#include "host/sweep/sweep_plan.h"
#include "tests/support/control_fixtures.h"
#include "tests/support/scratch_folder.h"

namespace cohortix::host::sweep {
namespace {

using cohortix::testing::ScratchFolder;

class SweepPlan : public ::testing::Test {
 protected:
  SweepPlan() {
    std::ofstream(folder / "study.cxd")
        << cohortix::testing::sourceFileText("tests/data/two-by-two.cxd");
  }
  Result<SweepDefinition> definition(const std::string& toml) {
    std::ofstream(folder / "sweep.toml") << toml;
    return readSweepFile(folder / "sweep.toml");
  }
  std::string refusal(const std::string& toml) {
    Result<SweepDefinition> read = definition(toml);
    EXPECT_FALSE(read);
    return read ? "" : read.status().message();
  }
  std::string file() const { return (folder / "sweep.toml").string(); }

  ScratchFolder folder;
  RealDiskInterface disk;
};

constexpr char kGrid[] = R"(
base = "study.cxd"
command = "power"
[options]
"--replicates" = 200
"--subjects" = [8, 12]
[vary]
"--noise" = ["quiet.toml", "/profiles/scanner a.toml"]
NoisePercent = [0.5, 1.5, 3]
Region1 = ["2 1 2.5 1.5\n1 0.5 1.5 1", [[4, 2, 5, 3], [2, 1, 3, 2]]]
)";

TEST_F(SweepPlan, EveryCombinationInOrderWithItsCommandAndValues) {
  Result<SweepDefinition> read = definition(kGrid);
  ASSERT_TRUE(read) << read.status().message();
  Result<ExpandedSweep> sweep = expandSweep(read.value());
  ASSERT_TRUE(sweep) << sweep.status().message();
  const Plan& plan = sweep->plan;
  EXPECT_EQ(plan.varied, (std::vector<std::string>{"--noise", "NoisePercent", "Region1"}));
  ASSERT_EQ(plan.designs.size(), 12u);
  EXPECT_EQ(plan.designs[0].id, "d001");
  EXPECT_EQ(plan.designs[11].id, "d012");
  // The last varied item changes fastest.
  EXPECT_EQ(plan.designs[3].values,
            (std::vector<std::string>{"quiet.toml", "1.5", "4 2 5 3 2 1 3 2"}));
  EXPECT_EQ(plan.designs[6].values[0], "/profiles/scanner a.toml");
  const std::string noise = (folder / "quiet.toml").lexically_normal().string();
  EXPECT_EQ(
      plan.designs[3].command,
      (std::vector<std::string>{"cohortix", "power", "designs/d004.cxd", "-o", "jobs/d004/output",
                                "--replicates", "200", "--subjects", "8,12", "--noise", noise}));
  EXPECT_NE(sweep->controls[3].text.find("NoisePercent: 1.5\n"), std::string::npos);
  EXPECT_NE(sweep->controls[3].text.find("Region1: 4 2 5 3\n2 1 3 2\n"), std::string::npos);
  EXPECT_NE(sweep->controls[4].text.find("NoisePercent: 3\n"), std::string::npos);

  Result<Plan> back = parseManifest(manifestText(plan), "manifest.tsv");
  ASSERT_TRUE(back) << back.status().message();
  EXPECT_EQ(back->varied, plan.varied);
  for (std::size_t d = 0; d < plan.designs.size(); ++d) {
    EXPECT_EQ(back->designs[d].values, plan.designs[d].values);
    EXPECT_EQ(back->designs[d].command, plan.designs[d].command);
  }
  EXPECT_EQ(findDesign(plan, "7"), &plan.designs[6]);
  EXPECT_EQ(findDesign(plan, "d012"), &plan.designs[11]);
  EXPECT_EQ(findDesign(plan, "13"), nullptr);
  EXPECT_EQ(findDesign(plan, "0"), nullptr);
}

TEST(ShellWords, QuotedWordsReadBackAsWritten) {
  const std::vector<std::string> words = {"plain", "with blank", "it's",      "",
                                          "$HOME", "a\\b",       "--noise=x", "'"};
  std::string line;
  for (const std::string& word : words) line += (line.empty() ? "" : " ") + shellQuoted(word);
  Result<std::vector<std::string>> back = shellWords(line);
  ASSERT_TRUE(back);
  EXPECT_EQ(back.value(), words);
  EXPECT_EQ(shellQuoted("designs/d001.cxd"), "designs/d001.cxd");
}

TEST_F(SweepPlan, MistakesInTheSweepFileNameTheirLine) {
  EXPECT_EQ(refusal("base = \"study.cxd\"\n[vary]\nSubjects = [1, 2]\n")
                .rfind(file() + ":3: expected an item of study.cxd (Version, WithinFactors,", 0),
            0u);
  EXPECT_EQ(refusal("base = \"study.cxd\"\ncommand = \"fit\"\n[vary]\nRegions = [1]\n"),
            file() + ":2: expected run, check or power for command, found \"fit\"");
  EXPECT_EQ(refusal("base = \"study.cxd\"\n[vary]\nSubjectsPerGroup = 4\n"),
            file() + ":3: expected a list of values for SubjectsPerGroup, found 4");
  EXPECT_EQ(
      refusal("base = \"study.cxd\"\n[vary]\nName = [\"a\\tb\"]\n"),
      file() + ":3: expected a value without tabs or line breaks for Name, found \"a\\x09b\"");
  EXPECT_EQ(
      refusal("base = \"study.cxd\"\n[options]\n\"--tr\" = 2\n[vary]\n\"--tr\" = [1, 2]\n"),
      file() +
          ":5: expected each host option either in [options] or in [vary], found --tr in both");
  EXPECT_EQ(refusal("base = \"missing.cxd\"\n[vary]\nRegions = [1]\n"),
            "cannot open " + (folder / "missing.cxd").string() + ": No such file or directory");
  EXPECT_EQ(refusal("base = \"study.cxd\"\n[vary]\nCenter = [[1, 2, 3]]\nCenter1 = [[1, 2, 3]]\n"),
            file() + ":4: expected each item varied once, found Center1 as Center");
}

// A value the control file reader refuses where it stands is refused at its line
// of the sweep file, in the reader's words, before any design is planned.
TEST_F(SweepPlan, ValuesTheControlFileCannotHoldAreRefusedAtTheirLine) {
  const struct {
    const char* vary;
    const char* message;
  } cases[] = {
      {"SubjectsPerGroup = [2, -1]", ":3: expected 0 or more subjects per group, found -1 (SubjectsPerGroup = -1)"},
      {"Resolution = [\n  3,\n  0,\n]", ":5: expected a VTC resolution of at least 1, found 0 (Resolution = 0)"},
      {"MeanBaseline = [2.5]", ":3: expected an integer for the mean baseline, found \"2.5\" (MeanBaseline = 2.5)"},
      {"NoisePercent = [\"loud\"]",
       ":3: expected a number for the noise SD in percent, found \"loud\" (NoisePercent = loud)"},
      {"NoisePercent = [1e39]", ":3: expected a number within the range of a 32-bit float for the noise SD in "
                                "percent, found \"1e+39\" (NoisePercent = 1e+39)"},
      {"Region1 = [[[2, 1, 2.5, 1.5], [1, 0.5, \"x\", 1]]]",
       ":3: expected a number for the effect of cell 3, row 2, region 1, found \"x\" (Region1 = 2 1 2.5 1.5 1 0.5 x 1)"},
      {"Name = [\"a\\\"b\"]", ":3: expected a text without double quotes for Name, found \"a\"b\""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(refusal(std::string("base = \"study.cxd\"\n[vary]\n") + c.vary + "\n"), file() + c.message);
}

// One that changes which items follow is left to the plan, which reads each
// design whole and stops at the first it refuses.
TEST_F(SweepPlan, RefusedDesignStopsThePlanAtItsFileAndLine) {
  Result<SweepDefinition> read = definition("base = \"study.cxd\"\n[vary]\nRegions = [1, 2]\n");
  ASSERT_TRUE(read) << read.status().message();
  Result<PlanResult> planned = writePlan(read.value(), folder / "plan", disk);
  ASSERT_FALSE(planned);
  EXPECT_EQ(planned.status().message(),
            (folder / "plan" / "designs" / "d002.cxd").string() +
                ":39: expected an integer for Talairach y of region 2, found \"CenterSD:\" (design d002: "
                "Regions = 2)");
  EXPECT_FALSE(std::filesystem::exists(folder / "plan" / "manifest.tsv"));
}

TEST_F(SweepPlan, APlanWithResultsIsKeptOnlyForTheSamePlan) {
  Result<SweepDefinition> read =
      definition("base = \"study.cxd\"\n[vary]\nSubjectsPerGroup = [2, 3]\n");
  ASSERT_TRUE(read);
  ASSERT_TRUE(writePlan(read.value(), folder / "plan", disk));
  // Not run yet: planned again, replaced.
  Result<PlanResult> again = writePlan(read.value(), folder / "plan", disk);
  ASSERT_TRUE(again);
  EXPECT_FALSE(again->unchanged);
  // Every design run failed: nothing to keep, planned again, their folders gone.
  std::filesystem::create_directories(folder / "plan" / "jobs" / "d001");
  std::ofstream(folder / "plan" / "jobs" / "d001" / "failed") << summaryText({1, 0, 0, 0, 0.5, "cohortix run d001.cxd"});
  again = writePlan(read.value(), folder / "plan", disk);
  ASSERT_TRUE(again) << again.status().message();
  EXPECT_FALSE(again->unchanged);
  EXPECT_FALSE(std::filesystem::exists(folder / "plan" / "jobs"));
  std::filesystem::create_directories(folder / "plan" / "jobs" / "d001");
  again = writePlan(read.value(), folder / "plan", disk);
  ASSERT_TRUE(again);
  EXPECT_TRUE(again->unchanged);
  read = definition("base = \"study.cxd\"\n[vary]\nSubjectsPerGroup = [2, 4]\n");
  ASSERT_TRUE(read);
  again = writePlan(read.value(), folder / "plan", disk);
  ASSERT_FALSE(again);
  EXPECT_EQ(again.status().message(), (folder / "plan").string() +
                                          " holds the results of another plan; plan into a new "
                                          "folder, or remove it to start over");
  // A folder of the user's own is never planned into, nor anything removed from it.
  std::filesystem::create_directories(folder / "mine" / "designs");
  std::ofstream(folder / "mine" / "designs" / "notes.cxd") << "mine";
  again = writePlan(read.value(), folder / "mine", disk);
  ASSERT_FALSE(again);
  EXPECT_EQ(again.status().message(), (folder / "mine").string() +
                                          " holds files that are not a plan's; plan into a new "
                                          "or empty folder");
  EXPECT_TRUE(std::filesystem::exists(folder / "mine" / "designs" / "notes.cxd"));
}

}  // namespace
}  // namespace cohortix::host::sweep
