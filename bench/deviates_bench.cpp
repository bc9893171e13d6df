#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "simulation/random_sources.h"

namespace {

using cohortix::gaussianDeviate;
using cohortix::uniformDeviate;

constexpr std::size_t kBatch = 4096;

void uniformsPerCall(benchmark::State& state) {
  int32_t seed = -1;
  std::vector<float> out(kBatch);
  for (auto _ : state) {
    for (float& u : out) u = uniformDeviate(seed);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kBatch));
}
BENCHMARK(uniformsPerCall);

void gaussiansPerCall(benchmark::State& state) {
  int32_t seed = -1;
  std::vector<float> out(kBatch);
  for (auto _ : state) {
    for (float& g : out) g = gaussianDeviate(seed);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kBatch));
}
BENCHMARK(gaussiansPerCall);

}  // namespace

BENCHMARK_MAIN();
