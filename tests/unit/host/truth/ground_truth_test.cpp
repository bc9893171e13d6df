// The truth on the output path: a subject the plug-in reported gets its files from
// the report, with no replay; from a plug-in that reports nothing, a subject whose
// saved data the replay gives back gets its files, after one message saying the
// truth is replayed; data the replay does not give back (another plug-in's) get no
// truth for that subject or any later one, one message more, and no failed outcome.

#include "host/truth/ground_truth.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>

#include "control/cell_index.h"
#include "control/control_file_reader.h"
#include "host/io/disk_interface.h"
#include "host/session/component_recorder.h"
#include "simulation/subject_model.h"
#include "tests/support/scratch_folder.h"

namespace cohortix::host::truth {
namespace {

using ::testing::HasSubstr;

class MatrixPredictors final : public PredictorSource {
 public:
  explicit MatrixPredictors(const DesignMatrix& matrix) : matrix_(matrix) {}
  const float* predictorTimeCourse(int32_t p) override {
    return matrix_.predictors[static_cast<std::size_t>(p)].values.data();
  }

 private:
  const DesignMatrix& matrix_;
};

// The noise-free example's subjects as a plug-in saves them: its model run on a
// fresh random state, subject after subject.
struct PluginRun {
  std::unique_ptr<SimulationDesign> design = std::make_unique<SimulationDesign>();
  RandomState state{};
  int32_t RandomSeed = -1;
  std::vector<float> data;

  PluginRun() {
    std::string message;
    EXPECT_TRUE(parseControlFile(COHORTIX_SOURCE_DIR "/examples/noise-free.cxd", *design, message))
        << message;
  }

  // `reported`: the subject carries its components as the plug-in reports them.
  SavedSubject next(int32_t s, bool reported) {
    SavedSubject subject;
    subject.groupNumber = 1;
    subject.subjectNumber = subjectNumber(*design, 0, s);
    subject.files.vtc = "S" + std::to_string(subject.subjectNumber) + "_G1_NoiseFree.vtc";
    const VTCBox box = vtcBoxOf(*design);
    subject.header.NrOfVolumes = design->NrOfVolumes;
    subject.header.XStart = box.XStart, subject.header.XEnd = box.XEnd;
    subject.header.YStart = box.YStart, subject.header.YEnd = box.YEnd;
    subject.header.ZStart = box.ZStart, subject.header.ZEnd = box.ZEnd;
    subject.header.Resolution = box.Resolution;
    for (const char* name : {"On", "Off"}) {
      Predictor predictor{name, {}};
      for (int32_t t = 0; t < design->NrOfVolumes; ++t)
        predictor.values.push_back(static_cast<float>(std::sin(0.3 * t + name[1])));
      subject.designMatrix.predictors.push_back(predictor);
    }
    const VTCGeometry geometry{box, vtcDims(box), design->NrOfVolumes};
    data.assign(voxelsInBox(geometry.Dims) * static_cast<std::size_t>(design->NrOfVolumes), 0.0f);
    std::vector<float> response(static_cast<std::size_t>(design->NrOfVolumes));
    MatrixPredictors predictors(subject.designMatrix);
    auto components = std::make_shared<SubjectComponents>();
    ComponentRecorder recorder(*components, voxelsInBox(geometry.Dims));
    EXPECT_TRUE(modelSubjectVTC(*design, 0, s, 2, predictors, geometry, data.data(),
                                response.data(), state, RandomSeed, &recorder));
    components->groupNumber = subject.groupNumber;
    components->subjectNumber = subject.subjectNumber;
    components->cellNames = {"On", "Off"};
    if (reported) subject.components = components;
    subject.data = data;
    return subject;
  }
};

struct TruthFixture {
  testing::ScratchFolder folder;
  RealDiskInterface disk;
  std::ostringstream messages;
  PluginRun plugin;
  GroundTruth truth;
  SubjectOutcomes outcomes;

  TruthFixture() : truth(*plugin.design, setting(), disk, messages) {}
  TruthSetting setting() const {
    TruthSetting s;
    s.outputDir = folder.path();
    s.nativeFiles = true;
    return s;
  }
  // A subject through the stage and the sink; `foreign` alters one value first.
  void pass(int32_t s, bool reported, bool foreign = false) {
    SavedSubject subject = plugin.next(s, reported);
    if (foreign) plugin.data[plugin.data.size() / 2] += 1.0f;
    truth.prepare(subject, plugin.data);
    truth.subjectSaved(subject, outcomes);
  }
};

constexpr const char* kStudyFiles[] = {
    "S1_G1_NoiseFree_truth.json",         "S2_G1_NoiseFree_truth_effects.nii",
    "S2_G1_NoiseFree_truth_regions.nii",  "S2_G1_NoiseFree_truth_baseline.nii",
    "S2_G1_NoiseFree_truth_effects.json", "NoiseFree_truth.tsv",
    "NoiseFree_G1_truth_effects.nii"};

// Data the replay would refuse: only the report can have given the files.
TEST(GroundTruth, ReportedSubjectsGetTheirFilesWithoutAReplay) {
  TruthFixture run;
  run.pass(0, /*reported=*/true, /*foreign=*/true);
  run.pass(1, /*reported=*/true);
  run.truth.runFinished(run.outcomes);
  EXPECT_TRUE(run.outcomes.all().empty());
  EXPECT_EQ(run.messages.str(), "");
  for (const char* file : kStudyFiles) EXPECT_TRUE(std::filesystem::exists(run.folder / file)) << file;
}

TEST(GroundTruth, SubjectsOfAPluginThatDoesNotReportAreReplayedAfterOneMessage) {
  TruthFixture run;
  run.pass(0, /*reported=*/false);
  run.pass(1, /*reported=*/false);
  run.truth.runFinished(run.outcomes);
  EXPECT_TRUE(run.outcomes.all().empty());
  EXPECT_EQ(run.messages.str(), "cohortix: " + std::string(kReplayFallbackMessage) + "\n");
  for (const char* file : kStudyFiles) EXPECT_TRUE(std::filesystem::exists(run.folder / file)) << file;
}

TEST(GroundTruth, DataTheReplayDoesNotGiveBackGetNoTruthAndOneMessage) {
  TruthFixture run;
  run.pass(0, /*reported=*/false, /*foreign=*/true);
  run.pass(1, /*reported=*/false);
  run.truth.runFinished(run.outcomes);
  EXPECT_FALSE(run.truth.replayed());
  EXPECT_TRUE(run.outcomes.all().empty()) << "a run without truth is not a failed run";
  const std::string messages = run.messages.str();
  EXPECT_THAT(messages, HasSubstr(kNoReplayMessage));
  EXPECT_EQ(std::count(messages.begin(), messages.end(), '\n'), 2)
      << "the fallback and the failed replay, each said once";
  EXPECT_TRUE(std::filesystem::is_empty(run.folder.path()));
}

}  // namespace
}  // namespace cohortix::host::truth
