#include "host/export/bids_dataset.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "host/export/bids_names.h"
#include "host/io/disk_interface.h"

namespace cohortix::host {
namespace {

namespace fs = std::filesystem;

fs::path scratchFolder(const std::string& name) {
  const fs::path folder = fs::path(COHORTIX_BUILD_DIR) / "test-tmp" / "bids_dataset" / name;
  fs::remove_all(folder);
  fs::create_directories(folder);
  return folder;
}

std::string textOf(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct TwoGroupStudy {
  fs::path folder;
  fs::path controlFile;
  std::vector<float> data = std::vector<float>(4 * 3 * 2 * 6, 150.0f);

  explicit TwoGroupStudy(const std::string& name) : folder(scratchFolder(name)) {
    controlFile = folder / "two-groups.cxd";
    std::ofstream(controlFile) << "FileVersion 1\n";
  }
  BidsStudy study() const {
    BidsStudy study;
    study.experimentName = "Two \"groups\" study-1";
    study.readme = std::string(200, 'x') + "\n";
    study.controlFile = controlFile;
    study.groupFactor = "Age";
    study.groupNames = {"Young", "Old"};
    study.largestSubjectNumber = 12;
    return study;
  }
  BidsSubject subject(int32_t number, int32_t group) const {
    BidsSubject subject{number, group, {}, {}, {}};
    subject.bold = {VTCBox{60, 72, 40, 49, 50, 56, 3}, VTCDims{4, 3, 2}, 6, 2.0, data.data()};
    subject.events = {trialEventOf({3, 4}, 2.0, "A x B")};
    subject.design = {{"A x B", {0, 0, 1, 1, 0.5f, 0}}};
    return subject;
  }
};

TEST(BidsDataset, LaysOutSubjectsWithPaddedLabelsAndTheTaskLabel) {
  RealDiskInterface disk;
  const TwoGroupStudy study("layout");
  const auto dataset = BidsDataset::open(study.folder / "bids", study.study(), disk).value();
  const fs::path root = study.folder / "bids";
  EXPECT_FALSE(fs::exists(root)) << "a run that ends before its first subject leaves nothing";
  ASSERT_TRUE(dataset->addSubject(study.subject(2, 1)));
  ASSERT_TRUE(dataset->addSubject(study.subject(12, 2)));
  EXPECT_EQ(dataset->taskLabel(), "Twogroupsstudy1");
  for (const char* file :
       {"dataset_description.json", "README", "code/two-groups.cxd", "participants.json",
        "sub-02/func/sub-02_task-Twogroupsstudy1_bold.nii.gz",
        "sub-02/func/sub-02_task-Twogroupsstudy1_bold.json",
        "sub-12/func/sub-12_task-Twogroupsstudy1_events.tsv",
        "derivatives/cohortix/dataset_description.json",
        "derivatives/cohortix/sub-12/func/sub-12_task-Twogroupsstudy1_desc-design_timeseries.tsv"})
    EXPECT_TRUE(fs::is_regular_file(root / file)) << file;
  EXPECT_EQ(textOf(root / "participants.tsv"),
            "participant_id\tgroup\nsub-02\tYoung\nsub-12\tOld\n");
  EXPECT_NE(textOf(root / "dataset_description.json").find(R"("Name": "Two \"groups\" study-1")"),
            std::string::npos);
  EXPECT_EQ(textOf(root / "sub-02/func/sub-02_task-Twogroupsstudy1_bold.json"),
            "{\n  \"TaskName\": \"Twogroupsstudy1\",\n  \"RepetitionTime\": 2,\n"
            "  \"SliceTiming\": [0, 0],\n  \"Units\": \"arbitrary\"\n}\n");
}

TEST(BidsDataset, RefusesAFolderHoldingAnotherDataset) {
  RealDiskInterface disk;
  const TwoGroupStudy study("occupied");
  fs::create_directories(study.folder / "bids" / "sub-07");
  const auto dataset = BidsDataset::open(study.folder / "bids", study.study(), disk);
  EXPECT_EQ(dataset.status().message(),
            "cannot write a BIDS dataset into " + (study.folder / "bids").string() +
                ": the folder is not empty");
  EXPECT_FALSE(fs::exists(study.folder / "bids" / "dataset_description.json"));
}

TEST(BidsDataset, ASubjectOfAnUnknownGroupIsNotListed) {
  RealDiskInterface disk;
  const TwoGroupStudy study("unknown-group");
  const auto dataset = BidsDataset::open(study.folder / "bids", study.study(), disk).value();
  ASSERT_TRUE(dataset->addSubject(study.subject(1, 1)));
  EXPECT_EQ(dataset->addSubject(study.subject(3, 3)).message(), "group 3 is not in the study");
  EXPECT_EQ(textOf(study.folder / "bids" / "participants.tsv"),
            "participant_id\tgroup\nsub-01\tYoung\n");
}

TEST(BidsNames, LabelsKeepOnlyLettersAndDigitsAndPadToTheLargestSubject) {
  EXPECT_EQ(bidsTaskLabel("Face_Study 2 (pilot)"), "FaceStudy2pilot");
  EXPECT_EQ(bidsTaskLabel("__"), "simulation");
  EXPECT_EQ(bidsTaskLabel("Caf\xc3\xa9"), "Caf");
  EXPECT_EQ(bidsSubjectLabel(3, 9), "3");
  EXPECT_EQ(bidsSubjectLabel(3, 10), "03");
  EXPECT_EQ(bidsSubjectLabel(42, 120), "042");
  EXPECT_EQ(bidsFunctionalStem("03", "Study"), "sub-03_task-Study");
}

// Marked from the first file until every subject is in; a resume checks the
// subjects listed and writes the rest, and one that differs is refused and no
// later subject written.
TEST(BidsDataset, UnfinishedUntilEverySubjectAndResumedOnlyOverTheSameSubjects) {
  RealDiskInterface disk;
  const TwoGroupStudy study("unfinished");
  BidsStudy twoSubjects = study.study();
  twoSubjects.largestSubjectNumber = 2;
  const fs::path root = study.folder / "bids";
  const fs::path marker = root / "derivatives/cohortix/cohortix-incomplete";
  {
    const auto stopped = BidsDataset::open(root, twoSubjects, disk).value();
    ASSERT_TRUE(stopped->addSubject(study.subject(1, 1)));
    ASSERT_TRUE(stopped->finish());
  }
  EXPECT_TRUE(fs::is_regular_file(marker));
  EXPECT_NE(textOf(root / "README").find("\nINCOMPLETE: "), std::string::npos);
  EXPECT_NE(BidsDataset::open(root, twoSubjects, disk).status().message().find("--resume"),
            std::string::npos);

  const fs::path copy = study.folder / "copy";
  fs::copy(root, copy, fs::copy_options::recursive);
  BidsStudy resumed = twoSubjects;
  resumed.resume = true;
  const auto dataset = BidsDataset::open(root, resumed, disk).value();
  const auto bold = root / "sub-1/func/sub-1_task-Twogroupsstudy1_bold.nii.gz";
  const auto before = fs::last_write_time(bold);
  ASSERT_TRUE(dataset->addSubject(study.subject(1, 1)));
  EXPECT_EQ(fs::last_write_time(bold), before) << "a checked subject is not written again";
  ASSERT_TRUE(dataset->addSubject(study.subject(2, 2)));
  ASSERT_TRUE(dataset->finish());
  EXPECT_FALSE(fs::exists(marker));
  EXPECT_EQ(textOf(root / "README"), twoSubjects.readme);
  EXPECT_EQ(textOf(root / "participants.tsv"), "participant_id\tgroup\nsub-1\tYoung\nsub-2\tOld\n");
  EXPECT_NE(BidsDataset::open(root, resumed, disk).status().message().find("nothing to continue"),
            std::string::npos);

  const auto other = BidsDataset::open(copy, resumed, disk).value();
  TwoGroupStudy changed("unfinished-changed");
  changed.data[5] = 151.0f;
  const Status refused = other->addSubject(changed.subject(1, 1));
  EXPECT_NE(refused.message().find("differs"), std::string::npos) << refused.message();
  EXPECT_FALSE(other->addSubject(study.subject(2, 2)));
  EXPECT_FALSE(fs::exists(copy / "sub-2"));
  ASSERT_TRUE(other->finish());
  EXPECT_TRUE(fs::is_regular_file(copy / "derivatives/cohortix/cohortix-incomplete"));
}

}  // namespace
}  // namespace cohortix::host
