// Control files the reader cannot take whole: each is refused with one message that
// names the file, the line, what was expected and what was found, and nothing after
// the fault is read.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "control/control_file_reader.h"
#include "tests/support/control_fixtures.h"

namespace cohortix::testing {
namespace {

const std::string kTwoByTwo = sourceFileText("tests/data/two-by-two.cxd");

struct Refusal {
  std::string from, to, message;
};

void expectRefusals(const std::vector<Refusal>& cases) {
  for (const Refusal& c : cases)
    EXPECT_EQ(refusalOf(edited(kTwoByTwo, c.from, c.to)), c.message) << c.from << " -> " << c.to;
}

void expectAccepted(const std::vector<std::pair<std::string, std::string>>& edits) {
  for (const auto& [from, to] : edits) EXPECT_EQ(refusalOf(edited(kTwoByTwo, from, to)), "") << to;
}

// Three within factors whose level names give a condition name of `nameLength`
// characters in their last cell.
std::string threeFactorsNamed(std::size_t nameLength) {
  const std::string each((nameLength - 6) / 3, 'n');
  std::string text = edited(kTwoByTwo, "WithinFactors: 2", "WithinFactors: 3");
  text = edited(text, "\"Right\"\n", "\"Right\"\nFactor: \"Long\"\nLevels: 1\nLevel: 0 0 0 \"" +
                                       each + std::string((nameLength - 6) % 3, 'n') + "\"\n");
  text = edited(text, "\"Hard\"", "\"" + each + "\"");
  return edited(text, "\"Right\"", "\"" + each + "\"");
}

TEST(ControlFileRefusal, FilesThatCannotBeOpenedOrReadGiveTheSystemsReason) {
  auto design = emptyDesign();
  std::string message;
  EXPECT_FALSE(parseControlFile("/nonexistent/study.cxd", *design, message));
  EXPECT_EQ(message, "cannot open /nonexistent/study.cxd: No such file or directory");
  const std::string folder = std::filesystem::temp_directory_path().string();
  EXPECT_FALSE(parseControlFile(folder.c_str(), *design, message));
  EXPECT_EQ(message, "cannot read " + folder + ": Is a directory");
}

TEST(ControlFileRefusal, TokensThatAreNotTheNumberExpected) {
  expectRefusals({
      {"Levels: 2", "Levels: 2.5",
       "study.cxd:7: expected an integer for the number of levels of within factor 1, found "
       "\"2.5\""},
      {"SubjectsPerGroup: 5", "SubjectsPerGroup: 99999999999",
       "study.cxd:21: expected an integer from -2147483648 to 2147483647 for the number of "
       "subjects per group, found \"99999999999\""},
      {"NoisePercent: 1.5", "NoisePercent: 1e400",
       "study.cxd:35: expected a number within the range of a 32-bit float for the noise SD in "
       "percent, found \"1e400\""},
      {"NoisePercent: 1.5", "NoisePercent: nan",
       "study.cxd:35: expected a finite number for the noise SD in percent, found \"nan\""},
      {"Radius: 3", "Radius: -inf",
       "study.cxd:38: expected a finite number for the radius of region 1, found \"-inf\""},
      {"BoxX: 60 180", "BoxX: 60 1e2",
       "study.cxd:28: expected an integer for the end of the VTC box along X, found \"1e2\""},
      {"1.0 0.5 1.5 1.0", "1.0 0.5 one 1.0",
       "study.cxd:44: expected a number for the effect of cell 3, row 2, region 1, found "
       "\"one\""},
      {"Level: 0 0 255", "Level: 0 0x10 255",
       "study.cxd:9: expected an integer for the green component of level 2 of within factor 1, "
       "found \"0x10\""},
  });
}

TEST(ControlFileRefusal, QuotedTextsThatAreTooLongOrNotQuoted) {
  const std::string long300(300, 'a');
  expectRefusals({
      {"\"SimA\"", "\"" + long300 + "\"",
       "study.cxd:5: expected the experiment name of at most 299 characters, found more than "
       "299 characters"},
      {"\"Easy\"", "\"" + std::string(100, 'e') + "\"",
       "study.cxd:8: expected the name of level 1 of within factor 1 of at most 99 characters, "
       "found more than 99 characters"},
      {"\"Old\"", "Old",
       "study.cxd:17: expected a double quote opening the name of level 2 of between factor 1 "
       "within 99 characters, found \"Old\\nBalanced: Y\\nRest: Y\\nRestVolumes: 10\\n...\""},
      // An unclosed quote is read no further than the name's limit.
      {"\"Old\"", "\"Old",
       "study.cxd:17: expected the name of level 2 of between factor 1 of at most 99 characters, "
       "found more than 99 characters"},
      {"\"Easy\"", std::string("\"Ea\0sy\"", 7),
       "study.cxd:8: expected the name of level 1 of within factor 1 without a NUL character, "
       "found \"Ea\\x00sy\""},
  });
}

TEST(ControlFileRefusal, WordsOverNinetyNineCharactersAndTheEndOfTheFile) {
  const std::string word100(100, 'w');
  expectRefusals({
      {"Balanced:", word100,
       "study.cxd:18: expected a label of at most 99 characters before the balanced-design "
       "flag, found \"wwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwww...\" of more than 99 "
       "characters"},
      {"Rest: Y", "Rest: Y" + std::string(99, 'y'),
       "study.cxd:19: expected a flag word of at most 99 characters for the rest-period flag, "
       "found \"Yyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyy...\" of more than 99 characters"},
      {"\n1.0 0.5 1.5 1.0\n", "\n1.0 0.5\n\n\n",
       "study.cxd:44: expected a number for the effect of cell 3, row 2, region 1, found the "
       "end of the file"},
      {"Region1: 2.0 1.0 2.5 1.5\n1.0 0.5 1.5 1.0\n", "",
       "study.cxd:42: expected a label before the effect table of region 1, found the end of "
       "the file"},
  });
  EXPECT_EQ(refusalOf(""),
            "study.cxd:1: expected a label before the file format version, found the end of the "
            "file");
}

TEST(ControlFileRefusal, CountsBeyondTheDesignsCapacities) {
  expectRefusals({
      {"Levels: 2", "Levels: 21", "study.cxd:7: expected 0 to 20 levels of within factor 1, found 21"},
      {"Levels: 2\nLevel: 0 0 0 \"Young\"", "Levels: -1\nLevel: 0 0 0 \"Young\"",
       "study.cxd:15: expected 0 to 20 levels of between factor 1, found -1"},
      {"Regions: 1", "Regions: 21", "study.cxd:36: expected 0 to 20 effect regions, found 21"},
  });
}

// Every count and every duration in volumes: a negative one would run as an empty
// study or a timeline that runs backwards. The reader's quoted texts come first.
TEST(ControlFileRefusal, NegativeCountsAndDurationsOnTheirOwnLine) {
  expectRefusals({
      {"WithinFactors: 2", "WithinFactors: -1",
       "study.cxd:2: expected 0 or more within factors, found -1"},
      {"BetweenFactors: 1", "BetweenFactors: -2",
       "study.cxd:3: expected 0 or more between factors, found -2"},
      {"SubjectsPerGroup: 5", "SubjectsPerGroup: -5",
       "study.cxd:21: expected 0 or more subjects per group, found -5"},
      {"RestVolumes: 10", "RestVolumes: -1",
       "study.cxd:20: expected 0 or more volumes of each rest period, found -1"},
      {"TrialVolumes: 6", "TrialVolumes: -6",
       "study.cxd:23: expected 0 or more volumes of each trial, found -6"},
      {"PreVolumes: 4", "PreVolumes: -300",
       "study.cxd:25: expected 0 or more volumes before the first protocol interval, found -300"},
      {"PostVolumes: 6", "PostVolumes: -1",
       "study.cxd:26: expected 0 or more volumes after the last protocol interval, found -1"},
      {"WithinFactors: 2\nBetweenFactors: 1", "WithinFactors: 4\nBetweenFactors: -1",
       "Too many within factors!"},
      {"WithinFactors: 2\nBetweenFactors: 1", "WithinFactors: -1\nBetweenFactors: 2",
       "In this version of the plugin, only 1 between factor is supported!"},
  });
  // What the run defines stays: no subject at all, and a negative radius (an empty
  // sphere).
  expectAccepted({{"SubjectsPerGroup: 5", "SubjectsPerGroup: 0"}, {"Radius: 3", "Radius: -2"}});
}

// The line a refusal names is where the file went astray, not where the reading
// finally failed.
TEST(ControlFileRefusal, MessagesNameTheLineThatSentTheReadingAstray) {
  std::string twoRegions = edited(kTwoByTwo, "Regions: 1", "Regions: 2");
  twoRegions = edited(twoRegions, "Center: 30 -20 10", "Center: 30 -20 10\nCenter: 0 0 0");
  twoRegions = edited(twoRegions, "Radius: 3", "Radius: 3\nRadius: 2");
  twoRegions = edited(twoRegions, "CenterSD: 1", "CenterSD: 1\nCenterSD: 0");
  twoRegions += "Region2: 1 1 1 1\n2 2 2 2\n";
  ASSERT_EQ(refusalOf(twoRegions), "");
  EXPECT_EQ(refusalOf(edited(twoRegions, "1.0 0.5 1.5 1.0", "1.0 0.5 1.5 1.0 9")),
            "study.cxd:47: expected a label before the effect table of region 2, found the "
            "number \"9\" (and then \"Region2:\" on line 48 for the effect of cell 1, row 1, "
            "region 2): the item before it has a value too many");
  EXPECT_EQ(refusalOf(edited(kTwoByTwo, "Rest: Y", "Rest: yes")),
            "study.cxd:19: the rest-period flag \"yes\" begins with a lower-case y and is read "
            "as no rest periods; the reading then fails on line 27: expected an integer for the "
            "end of the VTC box along Z, found \"BoxZ:\"");
}

// A word is read no further than one character past its limit: a device that never
// ends, or a huge file, is refused at once.
TEST(ControlFileRefusal, ReadingStopsAtTheLimitOfAWord) {
  auto design = emptyDesign();
  std::string message;
  EXPECT_FALSE(parseControlFile("/dev/zero", *design, message));
  std::string zeros;
  for (int i = 0; i < 40; ++i) zeros += "\\x00";
  EXPECT_EQ(message, "/dev/zero:1: expected a label of at most 99 characters before the file "
                     "format version, found \"" + zeros + "...\" of more than 99 characters");
}

TEST(ControlFileRefusal, WithinCellsBeyondOneHundred) {
  std::string levels;
  for (int l = 0; l < 20; ++l) levels += "Level: 1 2 3 \"L" + std::to_string(l) + "\"\n";
  std::string text = edited(kTwoByTwo, "Levels: 2", "Levels: 20");
  text = edited(text, "Level: 255 0 0 \"Easy\"\nLevel: 0 0 255 \"Hard\"\n", levels);
  EXPECT_EQ(refusalOf(edited(text, "Levels: 2\nLevel: 0 100", "Levels: 6\nLevel: 0 100")),
            "study.cxd:29: expected at most 100 within cells (the product of the within "
            "factors' level counts), found 120 with within factor 2");
}

TEST(ControlFileRefusal, EffectRowsBeyondOneHundredButNotAtIt) {
  std::string perSubject = edited(kTwoByTwo, "EffectRows: G\nSubjectSD: 0.5", "EffectRows: S");
  std::string rows;
  for (int row = 0; row < 100; ++row) rows += "1 2 3 4\n";
  perSubject = edited(perSubject, "2.0 1.0 2.5 1.5\n1.0 0.5 1.5 1.0\n", rows);
  EXPECT_EQ(refusalOf(edited(perSubject, "SubjectsPerGroup: 5", "SubjectsPerGroup: 50")), "");
  EXPECT_EQ(refusalOf(edited(perSubject, "SubjectsPerGroup: 5", "SubjectsPerGroup: 51")),
            "study.cxd:40: expected 0 to 100 rows of the effect table (one per subject), found "
            "102 (2 groups of 51 subjects)");
}

TEST(ControlFileRefusal, CountsWhoseRunWouldOverflowThirtyTwoBits) {
  const std::string kBox = "BoxZ: 100 160\nBoxX: 60 180\nBoxY: 50 152\nResolution: 3";
  expectRefusals({
      {"SubjectsPerGroup: 5", "SubjectsPerGroup: 2000000000",
       "study.cxd:21: expected at most 2147483647 subjects in all, found 2 groups of "
       "2000000000"},
      {"TrialsPerCondition: 3", "TrialsPerCondition: 600000000",
       "study.cxd:24: expected at most 2147483646 trials in a run, found 2400000000 (4 cells "
       "of 600000000)"},
      {"TrialsPerCondition: 3", "TrialsPerCondition: -1",
       "study.cxd:24: expected 0 or more trials per condition, found -1"},
      {"TrialVolumes: 6", "TrialVolumes: 200000000",
       "study.cxd:26: expected a run of 0 to 2147483646 volumes, found 2400000140 (4 before, "
       "12 trials of 200000000, 13 rests of 10, 6 after)"},
      {"BoxX: 60 180", "BoxX: -2147483648 180",
       "study.cxd:28: expected a VTC box whose extent along X (end - start) fits a 32-bit "
       "integer, found start -2147483648 and end 180"},
      {kBox, "BoxZ: 0 2000000000\nBoxX: 0 2000000000\nBoxY: 0 2000000000\nResolution: 1",
       "study.cxd:30: expected a VTC whose size in bytes fits a 64-bit integer, found "
       "2000000000 x 2000000000 x 2000000000 voxels of 212 volumes"},
  });
  // Beyond 2^31 values: the run's element index is 64-bit, and memory is the host's
  // to judge.
  expectAccepted({{kBox, "BoxZ: 0 255\nBoxX: 0 255\nBoxY: 0 255\nResolution: 1"},
                  {kBox, "BoxZ: 0 255\nBoxX: 0 255\nBoxY: 0 255\nResolution: 2"}});
}

TEST(ControlFileRefusal, ResolutionBelowOneAndRegionsReachingTooFar) {
  expectRefusals({
      {"Resolution: 3", "Resolution: 0",
       "study.cxd:30: expected a VTC resolution of at least 1, found 0"},
      {"Radius: 3", "Radius: 256.5",
       "study.cxd:38: expected the radius of region 1 from -256 to 256 VTC voxels, found 256.5"},
      {"CenterSD: 1", "CenterSD: -300",
       "study.cxd:39: expected the centre SD of region 1 from -256 to 256 VTC voxels, found "
       "-300"},
      {"Center: 30 -20 10", "Center: 30 -1073741757 10",
       "study.cxd:37: expected Talairach y of region 1 within 1073741824 voxels of the VTC box, "
       "(128 - y) - XStart, found 1073741825 (y -1073741757, XStart 60)"},
  });
  expectAccepted({{"Radius: 3", "Radius: 256"},
                  {"Radius: 3", "Radius: -256"},
                  {"CenterSD: 1", "CenterSD: 256"},
                  {"Center: 30 -20 10", "Center: 30 -1073741756 10"}});
}

TEST(ControlFileRefusal, NamesThatCannotBeFileOrConditionNames) {
  expectRefusals({
      {"\"SimA\"", "\"Sim/A\"",
       "study.cxd:5: expected an experiment name that can be part of a file name, found "
       "\"Sim/A\", which contains one of / \\ : * ? \" < > |"},
      {"\"SimA\"", "\"..\"",
       "study.cxd:5: expected an experiment name that can be part of a file name, found "
       "\"..\", which is \".\" or \"..\""},
      {"\"SimA\"", "\"Sim\nA\"",
       "study.cxd:5: expected an experiment name that can be part of a file name, found "
       "\"Sim\\nA\", which contains a control character"},
      {"\"SimA\"", "\"" + std::string(229, 'a') + "\"",
       "study.cxd:5: expected an experiment name that keeps output file names within 239 "
       "bytes, found \"S10_G2_aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa...\" of 240 bytes"},
  });
  expectAccepted({{"\"SimA\"", "\"" + std::string(228, 'a') + "\""}});
  EXPECT_EQ(refusalOf(threeFactorsNamed(279)), "");
  EXPECT_EQ(refusalOf(threeFactorsNamed(280)),
            "study.cxd:16: expected condition names of at most 279 characters, found "
            "\"nnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnn...\" of 280 characters for cell 4");
}

TEST(ControlFileRefusal, ColoursWhosePackedValueLeavesThirtyTwoBits) {
  std::string oneFactor = edited(kTwoByTwo, "WithinFactors: 2", "WithinFactors: 1");
  oneFactor = edited(oneFactor, "Factor: \"Cue\"\nLevels: 2\nLevel: 0 100 0 \"Left\"\n"
                                "Level: 0 0 0 \"Right\"\n", "");
  oneFactor = edited(oneFactor, "2.0 1.0 2.5 1.5\n1.0 0.5 1.5 1.0", "2.0 1.0\n1.0 0.5");
  EXPECT_EQ(refusalOf(edited(oneFactor, "255 0 0", "32767 255 255")), "");
  EXPECT_EQ(refusalOf(edited(oneFactor, "255 0 0", "32768 0 0")),
            "study.cxd:8: expected level colours whose packed colour red * 65536 + green * 256 "
            "+ blue fits a 32-bit integer, found 2147483648 for condition \"Easy\" (red 32768, "
            "green 0, blue 0)");
  expectRefusals({{"0 100 0 \"Left\"", "0 -2147483648 0 \"Left\"",
                   "study.cxd:12: expected level colours whose packed colour red * 65536 + "
                   "green * 256 + blue fits a 32-bit integer, found -549739102208 for condition "
                   "\"Easy x Left\" (red 255, green -2147483648, blue 0)"}});
}

}  // namespace
}  // namespace cohortix::testing
