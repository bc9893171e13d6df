// Reading control files: what a file means comes from the order of its tokens
// alone, and the four kinds of study the plug-in does not take are refused with
// their own messages.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>

#include "control/condition_names.h"
#include "control/control_file_reader.h"
#include "tests/support/control_fixtures.h"

namespace cohortix::testing {
namespace {

const std::string kTwoByTwo = sourceFileText("tests/data/two-by-two.cxd");

// Every line's first word, when it ends in ':', is a label; the rest are values.
std::string withLabels(const std::string& text, const std::string& label) {
  std::istringstream lines(text);
  std::string result, line;
  while (std::getline(lines, line)) {
    const std::size_t end = line.find(' ');
    if (end != std::string::npos && line[end - 1] == ':') line = label + line.substr(end);
    result += line + "\n";
  }
  return result;
}

std::string withSeparator(const std::string& text, const std::string& separator) {
  std::istringstream tokens(text);
  std::string result, token;
  while (tokens >> token) result += token + separator;
  return result;
}

bool sameDesign(const SimulationDesign& a, const SimulationDesign& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

std::unique_ptr<SimulationDesign> parsed(const std::string& text) {
  std::string message;
  auto design = parseText(text, message);
  EXPECT_EQ(message, "");
  return design;
}

TEST(ControlFileReader, WorkedExampleReadsBackWithItsCountsNamesAndEffects) {
  auto design = parsed(kTwoByTwo);
  ASSERT_TRUE(design);
  const SimulationDesign& d = *design;
  EXPECT_EQ(d.NrOfWithinCells, 4);
  EXPECT_EQ(d.NrOfGroups, 2);
  EXPECT_EQ(d.NrOfSubjects, 10);
  EXPECT_EQ(d.NrOfTrials, 12);
  EXPECT_EQ(d.NrOfVolumes, 212);
  EXPECT_EQ(d.NrOfEffectRows, 2);
  EXPECT_STREQ(d.ExperimentName, "SimA");
  EXPECT_STREQ(d.WithinFactors[1].FactorName, "Cue");
  EXPECT_EQ(d.WithinFactors[1].Levels[0].ColorG, 100);
  EXPECT_STREQ(d.BetweenFactors[0].Levels[1].LevelName, "Old");
  EXPECT_TRUE(d.BalancedDesign);
  EXPECT_TRUE(d.HasRestPeriods);
  EXPECT_EQ(d.RestDuration, 10);
  EXPECT_EQ(d.ZStart, 100);
  EXPECT_EQ(d.YEnd, 152);
  EXPECT_EQ(d.Resolution, 3);
  EXPECT_FLOAT_EQ(d.NoiseSDPercent, 1.5f);
  EXPECT_EQ(d.Regions[0].TalX, 30);
  EXPECT_EQ(d.Regions[0].TalY, -20);
  EXPECT_FLOAT_EQ(d.Regions[0].Radius, 3.0f);
  EXPECT_TRUE(d.EffectsPerGroup);
  EXPECT_FLOAT_EQ(d.SubjectEffectSD, 0.5f);
  EXPECT_FLOAT_EQ(d.EffectTable[0][0][2], 2.5f);
  EXPECT_FLOAT_EQ(d.EffectTable[0][1][3], 1.0f);
  const char* expected[] = {"Easy x Left", "Hard x Left", "Easy x Right", "Hard x Right"};
  for (int cell = 0; cell < 4; ++cell) EXPECT_EQ(conditionName(d, cell), expected[cell]);
}

TEST(ControlFileReader, LabelsAndLayoutDoNotChangeWhatIsRead) {
  auto original = parsed(kTwoByTwo);
  ASSERT_TRUE(original);
  for (const std::string& text :
       {withLabels(kTwoByTwo, "x"), withLabels(kTwoByTwo, "12345"),
        withSeparator(kTwoByTwo, " "), withSeparator(kTwoByTwo, "\n"),
        withSeparator(kTwoByTwo, "\r\n\t")}) {
    auto other = parsed(text);
    ASSERT_TRUE(other) << text;
    EXPECT_TRUE(sameDesign(*original, *other)) << text;
  }
}

TEST(ControlFileReader, ReservedItemsAndTheLastFlagWordHaveNoEffect) {
  auto original = parsed(kTwoByTwo);
  std::string text = edited(kTwoByTwo, "Reserved: 0\nName", "Reserved: -77\nName");
  text = edited(text, "Reserved: 0\nTrial", "Reserved: 2147483647\nTrial");
  text = edited(text, "Flag: P", "Flag: zebra");
  auto other = parsed(text);
  ASSERT_TRUE(other);
  EXPECT_TRUE(sameDesign(*original, *other));
}

TEST(ControlFileReader, VersionsUpToOneAreReadAndNewerOnesRefusedAtOnce) {
  EXPECT_TRUE(parsed(edited(kTwoByTwo, "Version: 1", "Version: 0")));
  EXPECT_TRUE(parsed(edited(kTwoByTwo, "Version: 1", "Version: -5")));
  EXPECT_EQ(refusalOf(edited(kTwoByTwo, "Version: 1", "Version: 2")),
            "INFO - New CXD File Format, use updated plugin.");
  EXPECT_EQ(refusalOf("Version: 2\n"), "INFO - New CXD File Format, use updated plugin.");
}

TEST(ControlFileReader, FactorCountsAreRefusedWithinFirst) {
  const std::string within4 = edited(kTwoByTwo, "WithinFactors: 2", "WithinFactors: 4");
  EXPECT_EQ(refusalOf(within4), "Too many within factors!");
  EXPECT_EQ(refusalOf(edited(within4, "BetweenFactors: 1", "BetweenFactors: 2")),
            "Too many within factors!");
  EXPECT_EQ(refusalOf(edited(kTwoByTwo, "BetweenFactors: 1", "BetweenFactors: 2")),
            "In this version of the plugin, only 1 between factor is supported!");
  // The counts are checked before the reserved item after them is needed.
  EXPECT_EQ(refusalOf("V 1\nW 4\nB 0\nR 0\n"), "Too many within factors!");
}

TEST(ControlFileReader, WithoutBetweenFactorThereIsOneGroup) {
  std::string text = edited(kTwoByTwo, "BetweenFactors: 1", "BetweenFactors: 0");
  text = edited(text, "Factor: \"Age\"\nLevels: 2\nLevel: 0 0 0 \"Young\"\nLevel: 0 0 0 \"Old\"\n",
                "");
  text = edited(text, "1.0 0.5 1.5 1.0\n", "");
  auto design = parsed(text);
  ASSERT_TRUE(design);
  EXPECT_EQ(design->NrOfGroups, 1);
  EXPECT_EQ(design->NrOfSubjects, 5);
  EXPECT_EQ(design->NrOfEffectRows, 1);
}

TEST(ControlFileReader, NoWithinFactorPassesTheReaderWithOneCell) {
  std::string text = edited(kTwoByTwo, "WithinFactors: 2", "WithinFactors: 0");
  const std::size_t from = text.find("Factor: \"Task\"");
  text.erase(from, text.find("Factor: \"Age\"") - from);
  text = edited(text, "Region1: 2.0 1.0 2.5 1.5\n1.0 0.5 1.5 1.0", "Region1: 2.0 1.0");
  auto design = parsed(text);
  ASSERT_TRUE(design);
  EXPECT_EQ(design->NrOfWithinCells, 1);
  EXPECT_EQ(design->NrOfTrials, 3);
}

TEST(ControlFileReader, OnlyAnUpperCaseYMarksABalancedDesign) {
  for (const char* word : {"Y", "Yes", "Yonder"})
    EXPECT_TRUE(parsed(edited(kTwoByTwo, "Balanced: Y", std::string("Balanced: ") + word)));
  for (const char* word : {"y", "yes", "N", "No"})
    EXPECT_EQ(refusalOf(edited(kTwoByTwo, "Balanced: Y", std::string("Balanced: ") + word)),
              "Unbalanced designs not yet supported!")
        << word;
}

TEST(ControlFileReader, WithoutRestPeriodsTheRestItemIsAbsent) {
  auto design = parsed(edited(kTwoByTwo, "Rest: Y\nRestVolumes: 10\n", "Rest: N\n"));
  ASSERT_TRUE(design);
  EXPECT_FALSE(design->HasRestPeriods);
  EXPECT_EQ(design->RestDuration, 0);
  EXPECT_EQ(design->NrOfVolumes, 82);
}

TEST(ControlFileReader, EffectsPerSubjectHaveARowPerSubjectAndNoSubjectSD) {
  std::string text = edited(kTwoByTwo, "EffectRows: G\nSubjectSD: 0.5\n", "EffectRows: S\n");
  std::string rows;
  for (int row = 0; row < 10; ++row) rows += std::to_string(row) + " 1 2 3\n";
  text = edited(text, "2.0 1.0 2.5 1.5\n1.0 0.5 1.5 1.0\n", rows);
  auto design = parsed(text);
  ASSERT_TRUE(design);
  EXPECT_FALSE(design->EffectsPerGroup);
  EXPECT_EQ(design->NrOfEffectRows, 10);
  EXPECT_FLOAT_EQ(design->EffectTable[0][7][0], 7.0f);
  EXPECT_FLOAT_EQ(design->EffectTable[0][9][3], 3.0f);
}

TEST(ControlFileReader, QuotedTextsKeepBlanksAndMayTouchNumbers) {
  std::string text = edited(kTwoByTwo, "\"Easy\"", "\"Very easy \"");
  text = edited(text, "Level: 0 0 255 \"Hard\"", "Level: 0 0 255\"Hard\"");
  text = edited(text, "Name: \"SimA\"", "Name:\n   \"Sim A\"");
  auto design = parsed(text);
  ASSERT_TRUE(design);
  EXPECT_STREQ(design->ExperimentName, "Sim A");
  EXPECT_STREQ(design->WithinFactors[0].Levels[0].LevelName, "Very easy ");
  EXPECT_STREQ(design->WithinFactors[0].Levels[1].LevelName, "Hard");
  EXPECT_EQ(conditionName(*design, 0), "Very easy  x Left");
}

TEST(ControlFileReader, NumbersTakeSignsFractionsAndExponents) {
  std::string text = edited(kTwoByTwo, "Center: 30 -20 10", "Center: +30 -20 010");
  text = edited(text, "NoisePercent: 1.5", "NoisePercent: 15e-1");
  text = edited(text, "1.0 0.5 1.5 1.0", "+1 .5 1.5E0 1.");
  auto original = parsed(kTwoByTwo);
  auto other = parsed(text);
  ASSERT_TRUE(other);
  EXPECT_TRUE(sameDesign(*original, *other));
}

}  // namespace
}  // namespace cohortix::testing
