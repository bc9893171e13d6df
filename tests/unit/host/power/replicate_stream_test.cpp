// Replicates made anywhere: replicate r's start is the plug-in's generator jumped
// along its cycle (one modular power, the same state as stepping there), the
// replicates' starts are spread over the cycle, and the subjects the host makes of
// replicate 0 are the plug-in's own run of the study, bit for bit.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <set>
#include <unordered_map>

#include "control/control_file_reader.h"
#include "host/power/replicate_stream.h"
#include "host/power/replicate_subjects.h"
#include "host/session/host_session.h"
#include "host/session/subject_components.h"
#include "simulation/random/random_sources.h"
#include "tests/support/control_fixtures.h"
#include "tests/support/recording_host.h"

namespace cohortix::host {
namespace {

TEST(ReplicateStream, JumpAheadIsTheGeneratorSteppedOnAndStartsSpreadOverItsCycle) {
  int32_t stepped = 1;
  for (uint64_t k = 1; k <= 5000; ++k) {
    stepped = schrageStep(stepped);
    ASSERT_EQ(generatorStateAfter(k), stepped) << k;
  }
  EXPECT_EQ(generatorStateAfter(0), 1);
  EXPECT_EQ(generatorStateAfter(kGeneratorCycle), 1);  // the whole cycle
  EXPECT_NE(generatorStateAfter(kGeneratorCycle / 2), 1);
  // Replicate 0 is the plug-in's own start; r's start steps on from it.
  EXPECT_EQ(replicateStart(0).RandomSeed, -1);
  EXPECT_EQ(replicateOffset(1), kReplicateStride);
  for (int32_t replicates : {1, 2, 3, 5, 64, 100, 1000, 10000}) {
    std::set<uint64_t> starts;
    for (int32_t r = 0; r < replicates; ++r) starts.insert(replicateOffset(r));
    ASSERT_EQ(starts.size(), static_cast<std::size_t>(replicates));
    uint64_t nearest = kGeneratorCycle - *starts.rbegin();
    for (auto a = starts.begin(), b = std::next(a); b != starts.end(); ++a, ++b) nearest = std::min(nearest, *b - *a);
    EXPECT_EQ(nearest, replicateSpacing(replicates)) << replicates;
    EXPECT_GE(100 * replicateSpacing(replicates) * static_cast<uint64_t>(replicates), 44 * kGeneratorCycle)
        << replicates;
  }
}

// Sums of 300 uniforms, block after block, from a start, after `skip` uniforms.
std::vector<double> blockSums(ReplicateStart start, int skip, int blocks) {
  for (int i = 0; i < skip; ++i) uniformDeviate(start.state, start.RandomSeed);
  std::vector<double> sums(static_cast<std::size_t>(blocks), 0.0);
  for (double& sum : sums)
    for (int i = 0; i < 300; ++i) sum += uniformDeviate(start.state, start.RandomSeed);
  return sums;
}

double correlation(const std::vector<double>& a, const std::vector<double>& b) {
  const double n = static_cast<double>(a.size());
  double ma = 0.0, mb = 0.0;
  for (std::size_t i = 0; i < a.size(); ++i) ma += a[i] / n, mb += b[i] / n;
  double ab = 0.0, aa = 0.0, bb = 0.0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    ab += (a[i] - ma) * (b[i] - mb);
    aa += (a[i] - ma) * (a[i] - ma);
    bb += (b[i] - mb) * (b[i] - mb);
  }
  return ab / std::sqrt(aa * bb);
}

// 12 s(c, p) / p, s the Dedekind sum (by its reciprocity law): the correlation of
// the uniforms of two streams whose states differ by the factor c.
double multiplierCorrelation(uint64_t c) {
  constexpr double p = 2147483647.0;
  double s = 0.0, sign = 1.0;
  for (uint64_t h = c % 2147483647, k = 2147483647; h != 0; sign = -sign) {
    const double hd = static_cast<double>(h), kd = static_cast<double>(k);
    s += sign * ((hd * hd + kd * kd + 1.0) / (12.0 * hd * kd) - 0.25);
    const uint64_t rest = k % h;
    k = h;
    h = rest;
  }
  return 12.0 * s / p;
}

TEST(ReplicateStream, NoTwoOfTheFirstTenThousandReplicatesAreLinearlyRelated) {
  EXPECT_NEAR(multiplierCorrelation(1), 1.0, 1e-6);
  EXPECT_NEAR(multiplierCorrelation(2147483646), -1.0, 1e-6);  // half the cycle on
  // Replicates d apart differ by the factor 16807^(d G): the same for every pair.
  const auto factor = static_cast<uint64_t>(generatorStateAfter(kReplicateStride));
  uint64_t c = 1;
  for (int d = 1; d <= 10000; ++d) {
    c = c * factor % 2147483647;
    ASSERT_LT(std::abs(multiplierCorrelation(c)), 1e-3) << d;
  }
}

// Two replicates' streams are disjoint stretches of the cycle: their draws are
// uncorrelated within Monte-Carlo error. A stream that starts inside another's
// stretch (what the replicates of a design too large for the spacing do) draws
// the same numbers, only shuffled: its block sums follow the other's closely.
TEST(ReplicateStream, StreamsCorrelateOnlyWhereTheyOverlap) {
  constexpr int kBlocks = 4000;
  const double error = 1.0 / std::sqrt(static_cast<double>(kBlocks));
  const std::vector<double> first = blockSums(replicateStart(1), 0, kBlocks);
  for (int32_t other : {0, 2, 3}) {
    const double r = correlation(first, blockSums(replicateStart(other), 0, kBlocks));
    EXPECT_LT(std::abs(r), 4.0 * error) << other;
  }
  // 1,000 steps before replicate 1's start, then 1,000 uniforms on: the same
  // generator states from there, through a table filled elsewhere.
  ReplicateStart inside;
  inside.RandomSeed = -generatorStateAfter(replicateOffset(1) - 1000);
  EXPECT_GT(correlation(first, blockSums(inside, 1000, kBlocks)), 0.5);
}

struct KeptSubject {
  std::string vtc;
  DesignMatrix matrix;
  std::vector<float> data;
  std::vector<int16_t> finalRegion;
};

class KeepingSink : public SubjectSink {
 public:
  void subjectSaved(const SavedSubject& subject, SubjectOutcomes&) override {
    subjects.push_back({subject.files.vtc, subject.designMatrix, {subject.data.begin(), subject.data.end()},
                        subject.components ? subject.components->finalRegion : std::vector<int16_t>{}});
  }
  std::vector<KeptSubject> subjects;
};

// Two groups of three, a region that moves, effects drawn per subject, rest
// periods and a randomised trial order.
constexpr char kStudy[] =
    "Version: 1\nWithin: 1\nBetween: 1\nReserved: 0\nName: \"Tiny\"\n"
    "Factor: \"Task\"\nLevels: 2\nL: 200 0 0 \"On\"\nL: 0 0 9 \"Off\"\n"
    "Factor: \"Age\"\nLevels: 2\nL: 0 0 0 \"Young\"\nL: 0 0 0 \"Old\"\n"
    "Balanced: Y\nRest: Y\nRestVolumes: 3\nSubjects: 3\nReserved: 0\nTrial: 3\n"
    "Trials: 3\nPre: 1\nPost: 1\nBoxZ: 0 5\nBoxX: 0 7\nBoxY: 0 6\nResolution: 1\n"
    "Code: 1\nBase: 1000\nSDSubjects: 40\nSDVoxels: 5\nNoise: 2\n"
    "Regions: 1\nCenter: 126 125 124\nRadius: 1.5\nCenterSD: 0.8\nRows: G\nSubjectSD: 0.5\nFlag: P\n"
    "Region1: 2.0 1.0 2.5 1.0\n";

TEST(ReplicateSubjects, ReplicateZeroIsThePluginsOwnRunBitForBit) {
  const testing::TempControlFile control(kStudy);
  auto design = std::make_unique<SimulationDesign>();
  std::string message;
  ASSERT_TRUE(parseControlFile(control.path().c_str(), *design, message)) << message;
  KeepingSink plugin;
  {
    SessionOptions options;
    options.controlFile = control.path();
    options.study = runOrderOf(*design);
    resetRandomSources();
    std::srand(1);
    testing::RecordingHost host(options);
    host.session().output().addSink(plugin);
    ASSERT_TRUE(host.runPlugin(true));
    host.session().finish();
  }
  // The process's own rand() stream moves on: the host's copy must not follow it.
  std::srand(12345);
  ReplicateSubjects made(*design, 2.0);
  std::vector<KeptSubject> host;
  ASSERT_TRUE(made.make(0, [&](const SavedSubject& subject, std::span<float> data) {
                    host.push_back({subject.files.vtc, subject.designMatrix, {data.begin(), data.end()},
                                    subject.components->finalRegion});
                    return Status::ok();
                  }).isOk());
  ASSERT_EQ(plugin.subjects.size(), 6u);
  ASSERT_EQ(host.size(), plugin.subjects.size());
  std::set<std::vector<float>> orders;
  for (std::size_t i = 0; i < host.size(); ++i) {
    EXPECT_EQ(host[i].vtc, plugin.subjects[i].vtc);
    EXPECT_EQ(host[i].matrix.predictors, plugin.subjects[i].matrix.predictors) << i;
    EXPECT_TRUE(host[i].data == plugin.subjects[i].data) << host[i].vtc;
    EXPECT_EQ(host[i].finalRegion, plugin.subjects[i].finalRegion) << host[i].vtc;
    orders.insert(host[i].matrix.predictors.front().values);
  }
  EXPECT_GT(orders.size(), 1u) << "every subject met its trials in the same order";
  // Another replicate: the same trial orders, other draws.
  std::vector<std::vector<float>> other;
  ASSERT_TRUE(made.make(1, [&](const SavedSubject& subject, std::span<float> data) {
                    EXPECT_EQ(subject.designMatrix.predictors, host[other.size()].matrix.predictors);
                    other.emplace_back(data.begin(), data.end());
                    return Status::ok();
                  }).isOk());
  ASSERT_EQ(other.size(), host.size());
  EXPECT_NE(other.front(), host.front().data);
}

// Sums of 300 of a stream's Gaussian deviates, block after block, from deviate `from`.
std::vector<double> gaussianBlockSums(const std::vector<float>& deviates, std::size_t from, std::size_t blocks) {
  std::vector<double> sums(blocks, 0.0);
  for (std::size_t b = 0; b < blocks; ++b)
    for (std::size_t i = 0; i < 300; ++i) sums[b] += deviates[from + b * 300 + i];
  return sums;
}

// The Gaussian deviates a replicate's subjects draw their noise from, and after
// each the generator's state.
struct GaussianStream {
  std::vector<float> deviates;
  std::vector<int32_t> states;
};
GaussianStream gaussianStream(int32_t replicate, std::size_t count) {
  ReplicateStart start = replicateStart(replicate);
  GaussianStream stream;
  for (std::size_t i = 0; i < count; ++i) {
    stream.deviates.push_back(gaussianDeviate(start.state, start.RandomSeed));
    stream.states.push_back(start.RandomSeed);
  }
  return stream;
}

// The two of the first 10,000 replicates whose starts are nearest: a design that
// draws more than that many uniforms a replicate (replicateOverlapOf warns of it)
// has the later one start inside the earlier one's stretch. Their noise then
// correlates where the stretches overlap (sums of 300 deviates, the same states
// shuffled through other tables), while replicates whose stretches are far apart
// are uncorrelated within Monte-Carlo error.
TEST(ReplicateStream, ReplicatesNoiseCorrelatesWhereTheirStreamsOverlapAndNowhereElse) {
  constexpr int32_t kReplicates = 10000;
  std::vector<std::pair<uint64_t, int32_t>> starts;
  for (int32_t r = 0; r < kReplicates; ++r) starts.emplace_back(replicateOffset(r), r);
  std::sort(starts.begin(), starts.end());
  int32_t earlier = 0, later = 0;
  uint64_t nearest = kGeneratorCycle;
  for (std::size_t i = 1; i < starts.size(); ++i)
    if (starts[i].first - starts[i - 1].first < nearest)
      nearest = starts[i].first - starts[i - 1].first, earlier = starts[i - 1].second, later = starts[i].second;
  EXPECT_EQ(nearest, replicateSpacing(kReplicates));
  ASSERT_NE(later, earlier);
  constexpr std::size_t kBlocks = 4000;
  const GaussianStream first = gaussianStream(earlier, 1'000'000 + kBlocks * 300);
  const GaussianStream second = gaussianStream(later, kBlocks * 300 + 1);
  // Where the earlier stream comes to the states the later one starts from.
  std::unordered_map<int32_t, std::size_t> after;
  for (std::size_t i = 0; i < first.states.size(); ++i) after.emplace(first.states[i], i + 1);
  std::size_t lag = 0;
  for (std::size_t j = 0; j < 8 && lag == 0; ++j)
    for (int32_t state : {second.states[j], schrageStep(second.states[j])})
      if (const auto found = after.find(state); found != after.end() && lag == 0) lag = found->second - (j + 1);
  ASSERT_GT(lag, 0u) << "replicate " << later << " does not start inside replicate " << earlier << "'s stretch";
  const double error = 1.0 / std::sqrt(static_cast<double>(kBlocks));
  const std::vector<double> overlapping = gaussianBlockSums(second.deviates, 0, kBlocks);
  EXPECT_GT(correlation(overlapping, gaussianBlockSums(first.deviates, lag, kBlocks)), 6.0 * error);
  // The same stretches side by side from their own starts, as the replicates'
  // subjects meet them, and a replicate whose stretch lies elsewhere.
  EXPECT_LT(std::abs(correlation(overlapping, gaussianBlockSums(first.deviates, 0, kBlocks))), 4.0 * error);
  const GaussianStream elsewhere = gaussianStream(earlier + 1, kBlocks * 300);
  EXPECT_LT(std::abs(correlation(overlapping, gaussianBlockSums(elsewhere.deviates, 0, kBlocks))), 4.0 * error);
}

// The plug-in's noise in the subjects the host makes of replicates whose streams
// do not overlap, taken apart exactly (separateSubject), is uncorrelated voxel by
// voxel and volume by volume within Monte-Carlo error, though their subjects share
// their design matrices.
TEST(ReplicateSubjects, NoiseOfReplicatesWhoseStreamsDoNotOverlapIsUncorrelated) {
  const testing::TempControlFile control(kStudy);
  auto design = std::make_unique<SimulationDesign>();
  std::string message;
  ASSERT_TRUE(parseControlFile(control.path().c_str(), *design, message)) << message;
  ASSERT_LT(uniformsPerReplicate(*design, design->NrOfSubjectsPerGroup), replicateSpacing(8));
  ReplicateSubjects made(*design, 2.0);
  std::vector<std::vector<double>> noise;
  for (int32_t replicate : {1, 2, 7}) {
    noise.emplace_back();
    ASSERT_TRUE(made.make(replicate, [&](const SavedSubject& subject, std::span<float> data) {
                      const SubjectParts parts = separateSubject(*subject.components, subject.designMatrix, data,
                                                                 static_cast<std::size_t>(subject.nrOfVolumes));
                      noise.back().insert(noise.back().end(), parts.noise.begin(), parts.noise.end());
                      return Status::ok();
                    }).isOk());
  }
  const double bound = 4.0 / std::sqrt(static_cast<double>(noise.front().size()));
  ASSERT_GT(noise.front().size(), 10000u);
  EXPECT_LT(std::abs(correlation(noise[0], noise[1])), bound);
  EXPECT_LT(std::abs(correlation(noise[0], noise[2])), bound);
  EXPECT_LT(std::abs(correlation(noise[1], noise[2])), bound);
}

}  // namespace
}  // namespace cohortix::host
