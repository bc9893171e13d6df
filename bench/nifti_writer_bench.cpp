// Writing a simulated VTC as NIfTI: the reordering from time-fastest to volume by
// volume, and whole files with and without compression, at the full-brain
// example's size (58 x 40 x 46 voxels, 300 volumes, 128 MB of floats).

#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <random>
#include <vector>

#include "host/io/disk_interface.h"
#include "host/export/nifti_writer.h"

namespace {

using cohortix::host::NiftiTimeCourse;

constexpr int32_t kVolumes = 300;

struct FullBrainVTC {
  cohortix::VTCBox box{40, 214, 60, 180, 59, 197, 3};
  cohortix::VTCDims dims = cohortix::vtcDims(box);
  std::vector<float> data;

  FullBrainVTC() : data(voxels() * kVolumes) {
    std::mt19937 generator(1);
    std::normal_distribution<float> noise(1000.0f, 15.0f);
    for (float& value : data) value = noise(generator);
  }
  std::size_t voxels() const { return std::size_t(dims.DimX) * dims.DimY * dims.DimZ; }
  NiftiTimeCourse timeCourse() const { return {box, dims, kVolumes, 2.0, data.data()}; }
};

const FullBrainVTC& fullBrain() {
  static const FullBrainVTC vtc;
  return vtc;
}

void BM_ReorderVolumesByBlock(benchmark::State& state) {
  const FullBrainVTC& vtc = fullBrain();
  const auto voxels = static_cast<int64_t>(vtc.voxels());
  const int32_t perBlock = cohortix::host::volumesPerBlock(voxels, kVolumes, int64_t{8} << 20);
  std::vector<float> block(static_cast<std::size_t>(voxels * perBlock));
  for (auto _ : state) {
    for (int32_t first = 0; first < kVolumes; first += perBlock) {
      const int32_t count = std::min(perBlock, kVolumes - first);
      cohortix::host::copyVolumeBlock(vtc.data.data(), voxels, kVolumes, first, count,
                                      block.data());
      benchmark::DoNotOptimize(block.data());
    }
  }
  state.SetBytesProcessed(state.iterations() * int64_t(vtc.data.size() * sizeof(float)));
}
BENCHMARK(BM_ReorderVolumesByBlock)->Unit(benchmark::kMillisecond);

void BM_WriteNifti(benchmark::State& state) {
  const FullBrainVTC& vtc = fullBrain();
  const bool gzip = state.range(0) != 0;
  const std::filesystem::path file =
      std::filesystem::temp_directory_path() / (gzip ? "cohortix_bench.nii.gz" : "cohortix_bench.nii");
  cohortix::host::RealDiskInterface disk;
  for (auto _ : state) {
    const cohortix::host::Status written = cohortix::host::writeNifti(disk, file, vtc.timeCourse());
    if (!written) state.SkipWithError(written.message().c_str());
  }
  state.SetBytesProcessed(state.iterations() * int64_t(vtc.data.size() * sizeof(float)));
  state.counters["file_MB"] = double(std::filesystem::file_size(file)) / 1e6;
  std::filesystem::remove(file);
}
BENCHMARK(BM_WriteNifti)->Arg(0)->Arg(1)->ArgName("gzip")->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
