// The output path as a whole run drives it: every subject raised once, in run
// order, with the names the plug-in gave and the study's numbers; stages change
// the data before any sink sees them; a sink plugged in from outside finishes its
// subjects before any sink finishes the run.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/session/host_session.h"
#include "tests/support/control_fixtures.h"
#include "tests/support/recording_host.h"

namespace cohortix::host {
namespace {

using ::testing::ElementsAreArray;

// Two groups of three subjects, 5 x 6 x 4 voxels, 12 volumes.
constexpr char kTinyStudy[] =
    "Version: 1\nWithin: 1\nBetween: 1\nReserved: 0\nName: \"Tiny\"\n"
    "Factor: \"Task\"\nLevels: 2\nL: 200 0 0 \"On\"\nL: 0 0 9 \"Off\"\n"
    "Factor: \"Age\"\nLevels: 2\nL: 0 0 0 \"Young\"\nL: 0 0 0 \"Old\"\n"
    "Balanced: Y\nRest: Y\nRestVolumes: 2\nSubjects: 3\nReserved: 0\nTrial: 2\nTrials: 1\n"
    "Pre: 1\nPost: 1\nBoxZ: 0 4\nBoxX: 0 5\nBoxY: 0 6\nResolution: 1\nCode: 1\nBase: 1000\n"
    "SDSubjects: 10\nSDVoxels: 5\nNoise: 1\nRegions: 1\nCenter: 126 126 126\nRadius: 1\n"
    "CenterSD: 0\nRows: G\nSubjectSD: 0.5\nFlag: P\nRegion1: 2.0 1.0 2.0 1.0\n";

struct Seen {
  int32_t group = 0;
  int32_t subject = 0;
  SubjectFileNames files;
  std::size_t conditions = 0;
  std::size_t predictors = 0;
  std::vector<float> data;
};

// A sink of the kind that comes later (ground truth, analysis): it keeps what it saw.
class KeepingSink : public SubjectSink {
 public:
  void subjectSaved(const SavedSubject& subject, SubjectOutcomes&) override {
    seen.push_back({subject.groupNumber, subject.subjectNumber, subject.files,
                    subject.protocol.conditions.size(), subject.designMatrix.predictors.size(),
                    std::vector<float>(subject.data.begin(), subject.data.end())});
  }
  void finishSubjects(SubjectOutcomes&) override { subjectsFinishedAfter = seen.size(); }
  void runFinished(SubjectOutcomes&) override {
    finishedAfter = seen.size();
    subjectsFinishedFirst = subjectsFinishedAfter == seen.size();
  }

  std::size_t subjectsFinishedAfter = 0;
  bool subjectsFinishedFirst = false;
  std::vector<Seen> seen;
  std::size_t finishedAfter = 0;

 private:
  std::filesystem::path folder_;
};

// Host-side noise stands in here: a fixed offset, remembering what it was given.
class OffsetStage : public SubjectDataStage {
 public:
  void prepare(const SavedSubject&, std::span<float> data) override {
    given.emplace_back(data.begin(), data.end());
    for (float& value : data) value += 1000.0f;
  }
  std::vector<std::vector<float>> given;
};

std::vector<float> dataOfVTCFile(const std::filesystem::path& file, std::size_t count) {
  std::ifstream in(file, std::ios::binary);
  std::vector<float> values(count);
  in.seekg(static_cast<std::streamoff>(std::filesystem::file_size(file) - count * sizeof(float)));
  in.read(reinterpret_cast<char*>(values.data()), static_cast<std::streamsize>(count * sizeof(float)));
  return values;
}

TEST(OutputPath, ASinkPluggedInSeesEverySubjectOnceInRunOrderWithItsNamesAndStagedData) {
  const testing::TempControlFile control(kTinyStudy);
  std::string message;
  const std::unique_ptr<SimulationDesign> design = testing::parseText(kTinyStudy, message);
  ASSERT_NE(design, nullptr) << message;
  const testing::ScratchFolder folder;
  SessionOptions options;
  options.controlFile = control.path();
  options.outputDir = folder.path();
  options.study = runOrderOf(*design);
  KeepingSink sink;  // before the host: its output path uses them
  OffsetStage stage;
  testing::RecordingHost host(options);
  host.session().output().addSink(sink);
  host.session().output().addStage(stage);
  ASSERT_TRUE(host.runPlugin());
  ASSERT_TRUE(host.session().finish());

  ASSERT_EQ(sink.seen.size(), 6u);
  EXPECT_EQ(sink.finishedAfter, 6u);
  EXPECT_TRUE(sink.subjectsFinishedFirst);
  ASSERT_EQ(stage.given.size(), 6u);
  for (std::size_t k = 0; k < 6; ++k) {
    const Seen& seen = sink.seen[k];
    const std::string stem = "S" + std::to_string(k + 1) + "_G" + (k < 3 ? "1" : "2") + "_Tiny";
    EXPECT_EQ(seen.subject, static_cast<int32_t>(k + 1));
    EXPECT_EQ(seen.group, k < 3 ? 1 : 2);
    EXPECT_EQ(seen.files, (SubjectFileNames{stem + ".prt", stem + ".rtc", stem + ".vtc"}));
    EXPECT_EQ(seen.conditions, 3u) << "Baseline, On, Off";
    EXPECT_EQ(seen.predictors, 2u);
    ASSERT_EQ(seen.data.size(), 5u * 6 * 4 * 12);
    std::vector<float> offset = stage.given[k];
    for (float& value : offset) value += 1000.0f;
    EXPECT_EQ(seen.data, offset) << "every sink sees the data as the stages left them";
    EXPECT_THAT(dataOfVTCFile(host.outputFolder() / seen.files.vtc, seen.data.size()),
                ElementsAreArray(seen.data));
  }
  EXPECT_NE(stage.given[0], stage.given[1]) << "each subject's own data";
}

// A stage that cannot finish a subject's data: nothing is made of them, and the
// run says so; the other subjects go out as ever.
class FailingStage : public SubjectDataStage {
 public:
  void prepare(const SavedSubject& subject, std::span<float>) override {
    if (subject.subjectNumber == 2) throw std::runtime_error("the data are not what the stage expects");
  }
};

TEST(OutputPath, DataAStageCannotFinishReachNoSinkAndTheirVTCCountsAsNotWritten) {
  const testing::TempControlFile control(kTinyStudy);
  std::string message;
  const std::unique_ptr<SimulationDesign> design = testing::parseText(kTinyStudy, message);
  ASSERT_NE(design, nullptr) << message;
  const testing::ScratchFolder folder;
  SessionOptions options;
  options.controlFile = control.path();
  options.outputDir = folder.path();
  options.study = runOrderOf(*design);
  KeepingSink sink;
  FailingStage stage;
  testing::RecordingHost host(options);
  host.session().output().addSink(sink);
  host.session().output().addStage(stage);
  ASSERT_TRUE(host.runPlugin());
  EXPECT_FALSE(host.session().finish());

  ASSERT_EQ(sink.seen.size(), 5u);
  for (const Seen& seen : sink.seen) EXPECT_NE(seen.subject, 2);
  EXPECT_FALSE(std::filesystem::exists(host.outputFolder() / "S2_G1_Tiny.vtc"));
  EXPECT_TRUE(std::filesystem::exists(host.outputFolder() / "S3_G1_Tiny.vtc"));
  EXPECT_THAT(host.session().filesNotWritten(), ElementsAreArray({"S2_G1_Tiny.vtc"}));
  EXPECT_THAT(host.session().hostMessages(),
              ::testing::Contains(::testing::HasSubstr(
                  "cannot write S2_G1_Tiny.vtc: the data are not what the stage expects")));
}

}  // namespace
}  // namespace cohortix::host
