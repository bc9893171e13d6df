// The analysis of one subject (first-level fit and its share of the group
// level) at two sizes: a region-of-interest box of 20 x 20 x 20 voxels with 200
// volumes, and the full-brain example's box of 58 x 40 x 46 voxels with 300
// volumes; both with 4 cells, the default high-pass filter, with and without
// AR(1) prewhitening. items_per_second is subjects analysed per second.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <string>
#include <random>
#include <vector>

#include "host/analysis/first_level_fit.h"
#include "host/analysis/group_accumulator.h"
#include "host/analysis/permutation_maxima.h"

namespace {

using cohortix::host::Predictor;

struct SimulatedSubject {
  std::vector<Predictor> predictors;
  std::vector<float> data;
  int64_t voxels;
  int32_t volumes;

  SimulatedSubject(int64_t voxelCount, int32_t volumeCount) : voxels(voxelCount), volumes(volumeCount) {
    // Four conditions in blocks of 8 volumes with 4 of rest between them.
    for (int c = 0; c < 4; ++c) {
      Predictor predictor{"Cell " + std::to_string(c + 1), std::vector<float>(volumes)};
      for (int32_t t = 0; t < volumes; ++t) predictor.values[t] = (t / 12) % 4 == c && t % 12 < 8;
      predictors.push_back(std::move(predictor));
    }
    std::mt19937 generator(1);
    std::normal_distribution<float> noise(1000.0f, 15.0f);
    data.resize(static_cast<std::size_t>(voxels * volumes));
    for (float& value : data) value = noise(generator);
  }
};

void analyseSubject(benchmark::State& state, int64_t voxels, int32_t volumes) {
  static std::vector<std::unique_ptr<SimulatedSubject>> cache;
  SimulatedSubject* subject = nullptr;
  for (auto& known : cache)
    if (known->voxels == voxels && known->volumes == volumes) subject = known.get();
  if (subject == nullptr) subject = cache.emplace_back(std::make_unique<SimulatedSubject>(voxels, volumes)).get();
  cohortix::host::FirstLevelOptions options;
  options.ar1 = state.range(0) != 0;
  std::vector<std::string> names;
  for (const Predictor& predictor : subject->predictors) names.push_back(predictor.name);
  cohortix::host::GroupAccumulator group(voxels, 1, cohortix::host::cellEffects(names));
  for (auto _ : state) {
    auto fit = cohortix::host::fitFirstLevel({subject->data.data(), voxels, volumes},
                                             subject->predictors, options);
    if (!fit.isOk()) {
      state.SkipWithError(fit.status().message().c_str());
      return;
    }
    benchmark::DoNotOptimize(group.add(0, fit.value()).isOk());
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_AnalyseRoiSubject(benchmark::State& state) { analyseSubject(state, 20 * 20 * 20, 200); }
void BM_AnalyseFullBrainSubject(benchmark::State& state) { analyseSubject(state, 58 * 40 * 46, 300); }

// The family-wise correction of one full-brain group map: 20 subjects' effects at
// every voxel of the box, 1,000 relabellings (sign flips, or splits into two
// groups of 10).
void BM_PermutationMaximaFullBrain(benchmark::State& state) {
  constexpr int32_t kSubjects = 20;
  const std::vector<uint8_t> mask(58 * 40 * 46, 1);
  std::vector<float> values(mask.size() * kSubjects);
  std::mt19937 generator(1);
  std::normal_distribution<float> effects(0.5f, 1.0f);
  for (float& value : values) value = effects(generator);
  const std::span<const float> all(values);
  const cohortix::host::PermutationSettings settings{1000, 1};
  for (auto _ : state) {
    if (state.range(0) == 0)
      benchmark::DoNotOptimize(
          cohortix::host::oneSampleMaxima(all, kSubjects, mask, cohortix::host::Tail::Two, settings));
    else
      benchmark::DoNotOptimize(cohortix::host::welchMaxima(all.first(all.size() / 2), kSubjects / 2,
                                                           all.last(all.size() / 2), kSubjects / 2, mask,
                                                           cohortix::host::Tail::Two, settings));
  }
  state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(BM_PermutationMaximaFullBrain)->ArgName("welch")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AnalyseRoiSubject)->ArgName("ar1")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AnalyseFullBrainSubject)->ArgName("ar1")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
