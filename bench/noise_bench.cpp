// The host's noise model on one subject of the full-brain box (58 x 40 x 46 voxels,
// 300 volumes, 3 mm, TR 2 s) with the bundled 3T profile, on one and two threads;
// its parts (deviates, the smoothed tissue field alone) and the estimators on the
// same data. docs/performance.md records the figures.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <vector>

#include "host/noise/counter_random.h"
#include "host/noise/noise_estimator.h"
#include "host/noise/noise_model.h"
#include "host/noise/noise_profile_file.h"

namespace {

using namespace cohortix::host::noise;

const NoiseGeometry kFullBrain{58, 40, 46, 300, {3.0, 3.0, 3.0}, 2.0};

NoiseProfile bundled3T() {
  const auto file = std::filesystem::path(__FILE__).parent_path().parent_path() / "examples" / "noise" /
                    "3T-TR2-3mm.toml";
  return readNoiseProfile(file).value();
}

struct Subject {
  std::vector<float> baseline = std::vector<float>(kFullBrain.voxels(), 1000.0f);
  std::vector<float> data = std::vector<float>(kFullBrain.voxels() * kFullBrain.volumes, 1000.0f);
};

void measureModel(benchmark::State& state, const NoiseModel& model) {
  Subject subject;
  const int threads = static_cast<int>(state.range(0));
  uint32_t number = 0;
  for (auto _ : state) {
    model.apply(subject.data.data(), subject.baseline.data(), {1, 0, ++number}, threads);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(subject.data.size()));
}

void noisePerSubject3T(benchmark::State& state) {
  measureModel(state, NoiseModel::prepare(bundled3T(), kFullBrain).value());
}
BENCHMARK(noisePerSubject3T)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// The tissue field alone, AR(1) and smoothed as the 3T profile's: the smoothing's share.
void tissueFieldOnly(benchmark::State& state) {
  const NoiseComponents solved = NoiseModel::prepare(bundled3T(), kFullBrain).value().components();
  NoiseComponents tissue;
  tissue.noise = solved.noise;
  tissue.noise.systemShare = 0.0;
  measureModel(state, NoiseModel::prepare(tissue, kFullBrain).value());
}
BENCHMARK(tissueFieldOnly)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// White Gaussian system noise alone: deviates and one pass over the data.
void whiteNoiseOnly(benchmark::State& state) {
  NoiseComponents white;
  white.noise = {1.0, 1.0, SystemNoise::Gaussian, {}, 0.0};
  measureModel(state, NoiseModel::prepare(white, kFullBrain).value());
}
BENCHMARK(whiteNoiseOnly)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void philoxGaussians(benchmark::State& state) {
  const CounterRandom random({1, 0, 0});
  std::vector<float> out(4096);
  uint32_t site = 0;
  for (auto _ : state) {
    random.gaussians(NoiseStream::Tissue, {static_cast<int32_t>(site++ % 30000), 0, 0}, 0, out.size(), out.data());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(out.size()));
}
BENCHMARK(philoxGaussians);

void estimatorsOnFullBrain(benchmark::State& state) {
  Subject subject;
  NoiseModel::prepare(bundled3T(), kFullBrain).value().apply(subject.data.data(), subject.baseline.data(), {1, 0, 0}, 2);
  const MemoryTimeSeries image(kFullBrain, subject.data.data());
  for (auto _ : state) benchmark::DoNotOptimize(estimateNoise(image).value().tsnr);
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(subject.data.size()));
}
BENCHMARK(estimatorsOnFullBrain)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
