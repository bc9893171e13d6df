// Deviates per second: one call per deviate against the block path, with each
// instruction set's kernels and with blocks of several sizes, and the uniform
// deviates alone. The block path's gain is the ratio of their items_per_second.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "simulation/random/block_kernels.h"
#include "simulation/random/gaussian_block.h"
#include "simulation/random/random_sources.h"

namespace {

using cohortix::BlockKernels;

constexpr std::size_t kDeviates = 4096;

template <class Fill>
void measure(benchmark::State& state, Fill fill) {
  int32_t seed = -1;
  std::vector<float> out(kDeviates);
  for (auto _ : state) {
    fill(out.data(), seed);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kDeviates));
}

void uniformsPerCall(benchmark::State& state) {
  measure(state, [](float* out, int32_t& seed) {
    for (std::size_t i = 0; i < kDeviates; ++i) out[i] = cohortix::uniformDeviate(seed);
  });
}
BENCHMARK(uniformsPerCall);

void gaussiansPerCall(benchmark::State& state) {
  measure(state, [](float* out, int32_t& seed) {
    for (std::size_t i = 0; i < kDeviates; ++i) out[i] = cohortix::gaussianDeviate(seed);
  });
}
BENCHMARK(gaussiansPerCall);

// The argument is the block size.
void gaussiansInBlocks(benchmark::State& state, const BlockKernels* kernels) {
  if (kernels == nullptr) return state.SkipWithError("not supported by this processor");
  cohortix::chooseBlockKernels(*kernels);
  const auto blockSize = static_cast<std::size_t>(state.range(0));
  measure(state, [blockSize](float* out, int32_t& seed) {
    for (std::size_t i = 0; i < kDeviates; i += blockSize)
      cohortix::gaussianDeviates(out + i, std::min(blockSize, kDeviates - i), seed);
  });
}
BENCHMARK_CAPTURE(gaussiansInBlocks, avx2, cohortix::avx2BlockKernels())
    ->Arg(4096)
    ->Arg(256)
    ->Arg(64)
    ->Arg(32)
    ->Arg(16)
    ->Arg(7);
BENCHMARK_CAPTURE(gaussiansInBlocks, sse2, &cohortix::genericBlockKernels())->Arg(4096)->Arg(256);

}  // namespace

BENCHMARK_MAIN();
