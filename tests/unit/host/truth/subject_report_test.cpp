// What the plug-in reports of its subjects: asking for it changes no byte the
// plug-in makes, the report agrees with a replay of every subject's draws (and a
// report that does not is caught, the subject named), and with the subject's
// predictors it takes the data apart into the run without noise and the
// plug-in's own noise, which the host's noise then replaces.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "control/control_file_reader.h"
#include "control/derived_counts.h"
#include "host/noise/noise_profile_file.h"
#include "host/noise/noise_stage.h"
#include "host/session/host_session.h"
#include "host/truth/truth_verifier.h"
#include "simulation/random/random_state.h"
#include "tests/support/control_fixtures.h"
#include "tests/support/recording_host.h"
#include "tests/support/scratch_folder.h"

namespace cohortix::host::truth {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

// Two groups of three subjects, 7 x 6 x 5 voxels, a region that moves.
std::string tinyStudy(const char* noise) {
  return std::string(
             "Version: 1\nWithin: 1\nBetween: 1\nReserved: 0\nName: \"Tiny\"\n"
             "Factor: \"Task\"\nLevels: 2\nL: 200 0 0 \"On\"\nL: 0 0 9 \"Off\"\n"
             "Factor: \"Age\"\nLevels: 2\nL: 0 0 0 \"Young\"\nL: 0 0 0 \"Old\"\n"
             "Balanced: Y\nRest: Y\nRestVolumes: 3\nSubjects: 3\nReserved: 0\nTrial: 3\n"
             "Trials: 2\nPre: 1\nPost: 1\nBoxZ: 0 5\nBoxX: 0 7\nBoxY: 0 6\nResolution: 1\n"
             "Code: 1\nBase: 1000\nSDSubjects: 40\nSDVoxels: 5\nNoise: ") +
         noise +
         "\nRegions: 2\nCenter: 126 125 124\nCenter: 125 124 126\nRadius: 1.5\nRadius: 1\n"
         "CenterSD: 0.8\nCenterSD: 0.5\nRows: G\nSubjectSD: 0.5\nFlag: P\n"
         "Region1: 2.0 1.0 2.5 1.0\nRegion2: 1.0 3.0 1.0 2.0\n";
}

struct Subject {
  std::string vtc;
  DesignMatrix matrix;
  std::vector<float> data;
  std::shared_ptr<const SubjectComponents> components;
};

class KeepingSink : public SubjectSink {
 public:
  void subjectSaved(const SavedSubject& subject, SubjectOutcomes&) override {
    subjects.push_back({subject.files.vtc, subject.designMatrix,
                        std::vector<float>(subject.data.begin(), subject.data.end()),
                        subject.components});
  }
  std::vector<Subject> subjects;
};

// Hands the verifier a report whose voxel 7 is one off.
class TamperingWitness : public SubjectWitness {
 public:
  explicit TamperingWitness(SubjectWitness& verifier) : verifier_(verifier) {}
  void pluginSaved(const std::string& name, const DesignMatrix& matrix, const VTCHeader& header,
                   std::span<const float> data,
                   const std::shared_ptr<SubjectComponents>& components) override {
    auto tampered = std::make_shared<SubjectComponents>(*components);
    if (name == "S2_G1_Tiny.vtc") tampered->voxelBaseline[7] += 1.0f;
    verifier_.pluginSaved(name, matrix, header, data, tampered);
  }

 private:
  SubjectWitness& verifier_;
};

std::unique_ptr<SimulationDesign> designOf(const fs::path& control) {
  auto design = std::make_unique<SimulationDesign>();
  std::string message;
  EXPECT_TRUE(parseControlFile(control.c_str(), *design, message)) << message;
  computeDerivedCounts(*design);
  return design;
}

// One run of the plug-in from the state of a freshly loaded library, with the
// verifier (or a witness in front of it) watching every subject.
struct PluginRun {
  testing::ScratchFolder folder;
  KeepingSink sink;
  std::unique_ptr<SimulationDesign> design;
  std::unique_ptr<TruthVerifier> verifier;
  std::vector<std::string> notWritten;
  bool finished = false;

  PluginRun(const fs::path& control, bool reported, bool tamper = false,
            SubjectDataStage* stage = nullptr)
      : design(designOf(control)) {
    SessionOptions options;
    options.controlFile = control;
    options.outputDir = folder.path();
    options.study = runOrderOf(*design);
    verifier = std::make_unique<TruthVerifier>(*design);
    TamperingWitness tampering(*verifier);
    // The state of a freshly loaded library and a fresh process: trial orders too.
    resetRandomSources();
    std::srand(1);
    testing::RecordingHost host(options);
    if (stage != nullptr) host.session().output().addStage(*stage);
    host.session().output().addSink(sink);
    if (reported) {
      host.session().output().addWitness(tamper ? static_cast<SubjectWitness&>(tampering)
                                                : *verifier);
      host.session().output().addSink(*verifier);
    }
    EXPECT_TRUE(host.runPlugin(reported));
    finished = host.session().finish();
    notWritten = host.session().filesNotWritten();
  }

  std::map<std::string, std::string> files() const {
    std::map<std::string, std::string> bytes;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder.path())) {
      std::ifstream in(entry.path(), std::ios::binary);
      bytes[entry.path().filename().string()] = {std::istreambuf_iterator<char>(in), {}};
    }
    return bytes;
  }
};

TEST(SubjectReports, ChangeNoByteThePluginMakesAndAgreeWithAReplayOfEveryExample) {
  // The whole-brain example takes seconds a run: the end-to-end tests cover it.
  for (const char* name : {"block-design", "event-related", "faces-and-places", "noise-free",
                           "region-of-interest"}) {
    const fs::path control = fs::path(COHORTIX_SOURCE_DIR) / "examples" / (std::string(name) + ".cxd");
    const PluginRun plain(control, false);
    const PluginRun reported(control, true);
    EXPECT_TRUE(reported.finished) << name << ": " << ::testing::PrintToString(reported.notWritten);
    EXPECT_EQ(reported.verifier->subjectsVerified(),
              static_cast<int64_t>(reported.sink.subjects.size())) << name;
    EXPECT_TRUE(plain.files() == reported.files()) << name << ": the report changed the files";
    for (const Subject& subject : reported.sink.subjects)
      EXPECT_NE(subject.components, nullptr) << name << " " << subject.vtc;
    for (const Subject& subject : plain.sink.subjects)
      EXPECT_EQ(subject.components, nullptr) << name << " " << subject.vtc;
  }
}

TEST(SubjectReports, AReportThatDiffersFromItsReplayFailsTheRunNamingTheSubject) {
  const testing::TempControlFile control(tinyStudy("2"));
  const PluginRun run(control.path(), true, /*tamper=*/true);
  EXPECT_FALSE(run.finished);
  ASSERT_EQ(run.notWritten.size(), 1u) << ::testing::PrintToString(run.notWritten);
  EXPECT_THAT(run.notWritten[0], HasSubstr("S2_G1_Tiny.vtc"));
  EXPECT_EQ(run.verifier->subjectsReplayed(), 6);
  EXPECT_EQ(run.verifier->subjectsVerified(), 5);
}

// The draws do not depend on the noise level, so the same study without noise is
// the noisy study's baseline and signal, value for value.
TEST(SubjectComponents, TakeASubjectApartIntoItsRunWithoutNoiseAndThePluginsNoise) {
  const testing::TempControlFile noisyFile(tinyStudy("2")), quietFile(tinyStudy("0"));
  const PluginRun noisy(noisyFile.path(), true), quiet(quietFile.path(), true);
  ASSERT_EQ(noisy.sink.subjects.size(), 6u);
  ASSERT_EQ(quiet.sink.subjects.size(), 6u);
  double sum = 0.0, squares = 0.0;
  std::size_t count = 0;
  for (std::size_t k = 0; k < noisy.sink.subjects.size(); ++k) {
    const Subject& subject = noisy.sink.subjects[k];
    ASSERT_NE(subject.components, nullptr);
    const auto volumes = static_cast<std::size_t>(noisy.design->NrOfVolumes);
    const SubjectParts parts = separateSubject(*subject.components, subject.matrix, subject.data, volumes);
    EXPECT_TRUE(parts.noiseFree == quiet.sink.subjects[k].data) << subject.vtc;
    const float noiseSD = subject.components->levels.NoiseSD;
    for (std::size_t i = 0; i < parts.noise.size(); ++i) {
      // The plug-in's noise, to the rounding of the sum it was added in.
      ASSERT_NEAR(parts.noise[i], subject.data[i] - quiet.sink.subjects[k].data[i], 1e-3f);
      const double z = parts.noise[i] / noiseSD;
      sum += z;
      squares += z * z;
      ++count;
    }
  }
  // Standard normal draws: the mean within 5 standard errors of 0, the variance
  // within 5 of 1 (the variance of a squared normal is 2).
  const double n = static_cast<double>(count);
  const double mean = sum / n;
  EXPECT_LT(std::abs(mean), 5.0 / std::sqrt(n));
  EXPECT_LT(std::abs(squares / n - mean * mean - 1.0), 5.0 * std::sqrt(2.0 / n));
}

// The host's noise of one profile, for the tiny study's geometry.
std::unique_ptr<noise::NoiseStage> tinyNoise(const char* pluginNoise, std::ostream& notes) {
  const Result<noise::NoiseProfile> profile = noise::parseNoiseProfile(
      std::string("plugin_noise = \"") + pluginNoise + "\"\n[noise]\nlevel = 3\nar = [0.4]\n", "tiny.toml");
  EXPECT_TRUE(profile) << profile.status().message();
  const testing::TempControlFile control(tinyStudy("0"));
  const std::unique_ptr<SimulationDesign> design = designOf(control.path());
  Result<noise::NoiseModel> model =
      noise::NoiseModel::prepare(profile.value(), noise::geometryOfStudy(*design, 2.0));
  EXPECT_TRUE(model) << model.status().message();
  return std::make_unique<noise::NoiseStage>(std::move(model).value(), profile->pluginNoise, 5, 0, 1, notes);
}

std::vector<std::vector<float>> dataOf(const PluginRun& run) {
  std::vector<std::vector<float>> data;
  for (const Subject& subject : run.sink.subjects) data.push_back(subject.data);
  return data;
}

// Replacing the plug-in's noise leaves nothing of it: a noisy study and its
// noise-free twin get the same bytes. A profile that adds, and a plug-in that
// cannot report (said once), keep the plug-in's noise under the host's.
TEST(NoiseStage, TheHostsNoiseReplacesThePluginsOwnUnlessTheProfileAdds) {
  const testing::TempControlFile noisyFile(tinyStudy("2")), quietFile(tinyStudy("0"));
  std::ostringstream notes;
  const auto replaceNoisy = tinyNoise("replace", notes), replaceQuiet = tinyNoise("replace", notes);
  const PluginRun noisy(noisyFile.path(), true, false, replaceNoisy.get());
  const PluginRun quiet(quietFile.path(), true, false, replaceQuiet.get());
  ASSERT_EQ(noisy.sink.subjects.size(), 6u);
  EXPECT_TRUE(dataOf(noisy) == dataOf(quiet));
  EXPECT_EQ(notes.str(), "");

  const auto added = tinyNoise("add", notes), unreported = tinyNoise("replace", notes);
  const PluginRun noisyAdded(noisyFile.path(), true, false, added.get());
  EXPECT_FALSE(dataOf(noisyAdded) == dataOf(noisy));
  EXPECT_EQ(notes.str(), "");
  const PluginRun old(noisyFile.path(), false, false, unreported.get());
  EXPECT_TRUE(dataOf(old) == dataOf(noisyAdded));
  EXPECT_THAT(notes.str(), HasSubstr("added to the plug-in's own noise instead of replacing it"));
  EXPECT_EQ(notes.str().find("plug-in does not report"), notes.str().rfind("plug-in does not report"));
}

}  // namespace
}  // namespace cohortix::host::truth
