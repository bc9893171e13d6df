// A replicate's expanded study: the plug-in reads N x (K + 1) subjects per group
// with every per-subject effect row repeated for each sample, and nothing else of
// the file changes; the host keeps the last N of each group under the study's
// names and skips the rest; an expansion the control file cannot hold is refused.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "host/io/disk_interface.h"
#include "host/replicate/expanded_study_file.h"
#include "host/replicate/replicate_study.h"
#include "tests/support/control_fixtures.h"

namespace cohortix::host::replicate {
namespace {

using cohortix::testing::edited;
using cohortix::testing::parseText;
using cohortix::testing::sourceFileText;
using cohortix::testing::TempControlFile;

// The text with every run of blanks made one blank, for comparing token streams.
std::string tokens(const std::string& text) {
  std::string out;
  bool blank = false;
  for (const char c : text) {
    const bool isBlank = c == ' ' || c == '\n' || c == '\t' || c == '\r';
    if (isBlank) {
      blank = !out.empty();
      continue;
    }
    if (blank) out += ' ';
    blank = false;
    out += c;
  }
  return out;
}

TEST(ReplicateStudy, PerSubjectRowsRepeatForEverySampleAndTheRestOfTheFileStays) {
  // Two groups of three subjects, one row per subject.
  std::string text = edited(sourceFileText("examples/block-design.cxd"), "BetweenFactors: 0",
                            "BetweenFactors: 1");
  text = edited(text, "Balanced:", "BetweenFactor: \"Age\"\nBetweenLevels: 2\nL: 0 0 0 \"Young\"\n"
                                   "L: 0 0 0 \"Old\"\nBalanced:");
  text = edited(text, "SubjectsPerGroup: 4", "SubjectsPerGroup: 3");
  text = edited(text, "Region1: 3.0 1.0 0.5\n2.5 1.2 0.4\n3.2 0.8 0.6\n2.8 1.0 0.5",
                "Region1: 3.0 1.0 0.5\n2.5 1.2 0.4\n3.2 0.8 0.6\n2.8 1.0 0.5\n1.5 1.5 1.5\n0.1 0.2 0.3");
  text = edited(text, "Region2: 1.0 2.8 0.5\n1.2 3.0 0.3\n0.8 2.6 0.6\n1.1 2.9 0.4",
                "Region2: 1.0 2.8 0.5\n1.2 3.0 0.3\n0.8 2.6 0.6\n1.1 2.9 0.4\n9 8 7\n6 5 4");
  TempControlFile file(text);
  std::string message;
  const std::unique_ptr<SimulationDesign> study = parseText(text, message);
  ASSERT_TRUE(study) << message;
  ASSERT_EQ(study->NrOfGroups, 2);
  Result<sweep::ControlItems> items = sweep::readControlItems(file.path());
  ASSERT_TRUE(items) << items.status().message();

  constexpr int32_t kReplicate = 2;
  Result<sweep::EditedText> expanded = expandedStudy(items.value(), *study, kReplicate);
  ASSERT_TRUE(expanded) << expanded.status().message();
  const std::unique_ptr<SimulationDesign> read = parseText(expanded.value().text, message);
  ASSERT_TRUE(read) << message;
  EXPECT_EQ(read->NrOfSubjectsPerGroup, 9);
  EXPECT_EQ(read->NrOfEffectRows, 18);
  for (int32_t r = 0; r < 2; ++r)
    for (int32_t g = 0; g < 2; ++g)
      for (int32_t s = 0; s < 9; ++s)
        for (int32_t c = 0; c < 3; ++c)
          EXPECT_EQ(read->EffectTable[r][g * 9 + s][c], study->EffectTable[r][g * 3 + s % 3][c])
              << "region " << r << ", group " << g << ", subject " << s << ", cell " << c;
  // Everything before the subjects and between them and the effect table is the
  // same token for token.
  const std::string before = tokens(text.substr(0, text.find("SubjectsPerGroup")));
  EXPECT_EQ(tokens(expanded.value().text).substr(0, before.size()), before);
  EXPECT_NE(tokens(expanded.value().text).find("SubjectsPerGroup: 9 Reserved: 0 TrialVolumes: 15"),
            std::string::npos);

  // The last three of each group are kept, as the study's subjects 1-3 and 4-6.
  const auto kept = keptSubjects(*study, kReplicate);
  ASSERT_EQ(kept.size(), 18u);
  for (std::size_t k = 0; k < kept.size(); ++k) {
    const std::size_t group = k / 9, within = k % 9;
    if (within < 6) EXPECT_FALSE(kept[k]) << k;
    else EXPECT_EQ(kept[k], group * 3 + within - 6) << k;
  }
  const SubjectSelection selection = replicateSelection(*study, *read, kReplicate);
  EXPECT_FALSE(selection.file("S6_G1_Blocks.prt").value().kept);
  EXPECT_EQ(selection.file("S7_G1_Blocks.rtc").value().name, "S1_G1_Blocks.rtc");
  EXPECT_EQ(selection.file("S18_G2_Blocks.vtc").value().name, "S6_G2_Blocks.vtc");
  EXPECT_FALSE(selection.file("S10_G2_Blocks.vtc").value().kept);
  EXPECT_FALSE(selection.file("S19_G2_Blocks.vtc"));
}

TEST(ReplicateStudy, GroupRowsChangeOnlyTheSubjectCountAndOverfullTablesAreRefused) {
  RealDiskInterface disk;
  Result<std::unique_ptr<ExpandedStudyFile>> grouped =
      ExpandedStudyFile::write(std::string(COHORTIX_SOURCE_DIR) + "/tests/data/two-by-two.cxd", 3, disk);
  ASSERT_TRUE(grouped) << grouped.status().message();
  const std::filesystem::path written = grouped.value()->path();
  const std::string source = sourceFileText("tests/data/two-by-two.cxd");
  Result<std::string> text = disk.readFile(written);
  ASSERT_TRUE(text);
  EXPECT_EQ(text.value(), edited(source, "SubjectsPerGroup: 5", "SubjectsPerGroup: 20"));
  EXPECT_EQ(std::filesystem::status(written.parent_path()).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_all);
  grouped.value().reset();
  EXPECT_FALSE(std::filesystem::exists(written.parent_path()));

  // Four subjects with a row each: 25 samples would need 100 rows, 26 need 104.
  const std::string blocks = std::string(COHORTIX_SOURCE_DIR) + "/examples/block-design.cxd";
  EXPECT_TRUE(ExpandedStudyFile::write(blocks, 24, disk));
  Result<std::unique_ptr<ExpandedStudyFile>> overfull = ExpandedStudyFile::write(blocks, 25, disk);
  ASSERT_FALSE(overfull);
  EXPECT_THAT(overfull.status().message(),
              ::testing::HasSubstr("replicate 25 needs 104 effect rows, one per simulated subject, "
                                   "and a control file holds at most 100"));
}

}  // namespace
}  // namespace cohortix::host::replicate
