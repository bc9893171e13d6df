// The compressor of --gzip on one core: a whole subject's worth of noisy floats
// (1000 +- 15, as the simulation makes them) through the sink in the writer's 8 MiB
// writes, so the byte frequencies, the coding and the copies into the pieces are
// all in the figure.

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>

#include "host/export/literal_deflate.h"
#include "host/export/parallel_gzip.h"

namespace {

struct CountingSink : cohortix::host::FileSink {
  std::size_t bytes = 0;
  cohortix::host::Status write(std::string_view piece) override {
    bytes += piece.size();
    return cohortix::host::Status::ok();
  }
};

const std::string& noisyVolume() {
  static const std::string bytes = [] {
    std::mt19937 generator(1);
    std::normal_distribution<float> noise(1000.0f, 15.0f);
    std::string data(std::size_t{128} << 20, '\0');
    for (std::size_t at = 0; at < data.size(); at += sizeof(float)) {
      const float value = noise(generator);
      std::memcpy(data.data() + at, &value, sizeof value);
    }
    return data;
  }();
  return bytes;
}

void BM_GzipNoise(benchmark::State& state) {
  const std::string& volume = noisyVolume();
  constexpr std::size_t kWrite = std::size_t{8} << 20;
  CountingSink sink;
  for (auto _ : state) {
    sink.bytes = 0;
    cohortix::host::ParallelGzipSink gzip(sink, static_cast<int>(state.range(0)), 1);
    for (std::size_t at = 0; at < volume.size(); at += kWrite)
      if (!gzip.write(std::string_view(volume).substr(at, kWrite))) state.SkipWithError("write");
    if (!gzip.finish()) state.SkipWithError("finish");
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(volume.size()));
  state.counters["ratio"] = static_cast<double>(sink.bytes) / static_cast<double>(volume.size());
}
BENCHMARK(BM_GzipNoise)->Arg(0)->Arg(1)->ArgName("level")->Unit(benchmark::kMillisecond);

// The literal coding of one 4 MiB piece alone, its frequencies counted beforehand.
void BM_LiteralCodingOfAPiece(benchmark::State& state) {
  const std::string_view piece = std::string_view(noisyVolume()).substr(0, cohortix::host::kGzipPieceBytes);
  const cohortix::host::ByteHistogram histogram = cohortix::host::histogramOf(piece);
  std::string buffer;
  for (auto _ : state)
    benchmark::DoNotOptimize(cohortix::host::writeLiteralDeflate(piece, histogram, false, buffer));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(piece.size()));
}
BENCHMARK(BM_LiteralCodingOfAPiece)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
