#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "simulation/gaussian_block.h"
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

// The same deviates, written by blocks of the argument's size.
void gaussiansInBlocks(benchmark::State& state) {
  int32_t seed = -1;
  const auto blockSize = static_cast<std::size_t>(state.range(0));
  std::vector<float> out(kBatch);
  for (auto _ : state) {
    for (std::size_t i = 0; i < kBatch; i += blockSize)
      cohortix::gaussianDeviates(out.data() + i, std::min(blockSize, kBatch - i), seed);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kBatch));
}
BENCHMARK(gaussiansInBlocks)->Arg(4096)->Arg(256)->Arg(64)->Arg(7);

}  // namespace

BENCHMARK_MAIN();
