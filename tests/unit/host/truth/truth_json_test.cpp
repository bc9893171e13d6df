#include "host/truth/truth_json.h"

#include <gtest/gtest.h>

#include <string>

#include "host/truth/truth_files_input.h"
#include "host/truth/truth_text.h"
#include "tests/support/scratch_folder.h"

namespace cohortix::host::truth {
namespace {

SubjectTruth someTruth() {
  SubjectTruth truth;
  truth.subjectNumber = 3;
  truth.groupNumber = 2;
  truth.levels = {1003.1f, 10.031f, 0.1f / 3.0f};
  truth.cellNames = {"Faces x \"Attended\"", "Houses x Ignored"};
  for (int r = 0; r < 2; ++r) {
    RegionTruth region;
    region.placement = {-40 + r, 12, 7, VoxelIndex{4 - r, 17, 2 * r}, 2.5f};
    region.effects = {{1.5f, 1.5f + 0.1f * static_cast<float>(r)}, {-0.7f, 3.0e-7f}};
    region.voxels = {1, 2, 3};
    region.voxelsOverwritten = r;
    truth.regions.push_back(region);
  }
  return truth;
}

// What the study report takes of a subject's truth is what the host wrote: the
// baseline, each region's centre voxel and received effects, and its atlas labels.
TEST(TruthJson, TheReportReadsBackWhatTheHostWrote) {
  testing::ScratchFolder folder;
  const SubjectTruth written = someTruth();
  const TalairachAffine affine{{{3, 0, 0, -80.5}, {0, 3, 0, -100}, {0, 0, 3, -60}}};
  int calls = 0;
  const PlaceOf placeOf = [&calls](const std::array<double, 3>&) {
    return ++calls == 1 ? std::string("{\"AAL\": \"Fusiform_R\", \"Brodmann\": \"BA 37\", \"HarvardOxford\": "
                                      "\"\", \"Tissue\": \"grey matter\", \"Grey\": 0.8, \"White\": 0.1, "
                                      "\"CSF\": 0.1}")
                        : std::string("{\"AAL\": \"\", \"Brodmann\": \"\", \"HarvardOxford\": \"\", \"Tissue\": "
                                      "\"white matter\", \"Grey\": 0.1, \"White\": 0.9, \"CSF\": 0}");
  };
  folder.write("S3_G2_Study_truth.json", subjectTruthJson(written, "Study", affine, std::nullopt, placeOf));
  SubjectFiles subject;
  subject.data = folder / "S3_G2_Study.vtc";
  TruthFilesInput input;
  const Result<std::optional<host::SubjectTruth>> read = input.subjectTruth(subject);
  ASSERT_TRUE(read) << read.status().message();
  ASSERT_TRUE(read.value());
  const host::SubjectTruth& truth = *read.value();
  EXPECT_EQ(truth.baseline, written.levels.Baseline);
  ASSERT_EQ(truth.regions.size(), 2u);
  for (std::size_t r = 0; r < 2; ++r) {
    const VoxelIndex& centre = written.regions[r].placement.Centre;
    EXPECT_EQ(truth.regions[r].centre.X, centre.X);
    EXPECT_EQ(truth.regions[r].centre.Y, centre.Y);
    EXPECT_EQ(truth.regions[r].centre.Z, centre.Z);
    ASSERT_EQ(truth.regions[r].effects.size(), 2u);
    for (std::size_t p = 0; p < 2; ++p) EXPECT_EQ(truth.regions[r].effects[p], written.regions[r].effects[p].received);
  }
  EXPECT_EQ(truth.regions[0].atlas, "AAL Fusiform_R, BA 37; grey matter");
  EXPECT_EQ(truth.regions[1].atlas, "no atlas label; white matter");
  // Without an anatomy, no atlas; without a file, no truth.
  folder.write("S3_G2_Study_truth.json", subjectTruthJson(written, "Study", affine, std::nullopt));
  EXPECT_EQ(input.subjectTruth(subject).value().value().regions[0].atlas, "");
  subject.data = folder / "S4_G2_Study.vtc";
  EXPECT_FALSE(input.subjectTruth(subject).value());
}

// A truth whose fields are missing or of another type is refused with the field's
// JSON Pointer, what it should hold and what it holds.
TEST(TruthJson, FieldsMissingOrOfAnotherTypeAreNamed) {
  const std::string good = subjectTruthJson(someTruth(), "Study", {}, std::nullopt);
  const struct {
    std::string from, to, message;
  } cases[] = {
      {"\"Baseline\": 1003.1", "\"Base\": 1003.1",
       "expected a subject's ground truth (an object with \"Baseline\" and \"Regions\") at the top, found "
       "{\"Experiment\":\"Study\",\"Subject\":3,\"Group..."},
      {"\"Baseline\": 1003.1", "\"Baseline\": \"1003.1\"",
       "expected a number within the range of a 32-bit float at /Baseline, found \"1003.1\""},
      {"\"NoiseSD\": 0.033333335", "\"NoiseSD\": 1e39",
       "expected a number within the range of a 32-bit float at /NoiseSD, found 1e+39"},
      {"\"Subject\": 3", "\"Subject\": -3", "expected a whole number, 0 or more at /Subject, found -3"},
      {"\"CentreVoxel\": [3, 17, 2]", "\"CentreVoxel\": [3, 17]",
       "expected a list of 3 whole numbers at /Regions/1/CentreVoxel, found [3,17]"},
      {"\"CentreVoxel\": [3, 17, 2]", "\"CentreVoxel\": [3, 17, 2147483648]",
       "expected a list of 3 whole numbers at /Regions/1/CentreVoxel, found [3,17,2147483648]"},
      {"\"Received\": 3e-07", "\"Received\": null",
       "expected a number within the range of a 32-bit float at /Regions/0/Effects/1/Received, found null"},
      {"\"VoxelsOverwritten\": 1", "\"VoxelsOverwriten\": 1",
       "expected a whole number, 0 or more at /Regions/1/VoxelsOverwritten, found none"},
      {"\"Cells\": [\"Faces", "\"Cells\": [7, \"Faces", "expected text at /Cells/0, found 7"},
  };
  for (const auto& c : cases) {
    std::string text = good;
    ASSERT_NE(text.find(c.from), std::string::npos) << c.from << "\n" << text;
    text.replace(text.find(c.from), c.from.size(), c.to);
    const Result<JsonValue> json = parseJsonText(text, truthJsonLimits());
    ASSERT_TRUE(json) << json.status().message();
    EXPECT_EQ(truthOfJson(json.value()).status().message(), c.message);
  }
  const Result<JsonValue> json = parseJsonText(good, truthJsonLimits());
  ASSERT_TRUE(json && truthOfJson(json.value()));
}

}  // namespace
}  // namespace cohortix::host::truth
