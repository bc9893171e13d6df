#include "host/analysis/spatial_smoothing.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace cohortix::host {
namespace {

std::vector<double> gaussianKernel(double sigma) {
  const auto radius = static_cast<int32_t>(3.0 * sigma + 0.5);
  std::vector<double> weights(static_cast<std::size_t>(2 * radius + 1));
  for (int32_t k = -radius; k <= radius; ++k)
    weights[static_cast<std::size_t>(k + radius)] = std::exp(-0.5 * k * k / (sigma * sigma));
  return weights;
}

// One axis of `count` voxels, `stride` voxels apart, for every line along it: each
// voxel's `volumes` values become the weighted mean of its neighbours' in the box.
void smoothAxis(std::span<float> data, int32_t volumes, int32_t count, int64_t stride, int64_t lines,
                const std::vector<double>& weights, const std::vector<int64_t>& lineStarts) {
  const auto radius = static_cast<int32_t>(weights.size() / 2);
  const auto n = static_cast<std::size_t>(volumes);
  std::vector<double> line(static_cast<std::size_t>(count) * n);
  std::vector<double> sum(n);
  for (int64_t l = 0; l < lines; ++l) {
    const int64_t start = lineStarts[static_cast<std::size_t>(l)];
    for (int32_t i = 0; i < count; ++i)
      for (std::size_t t = 0; t < n; ++t)
        line[static_cast<std::size_t>(i) * n + t] = data[static_cast<std::size_t>((start + i * stride)) * n + t];
    for (int32_t i = 0; i < count; ++i) {
      std::fill(sum.begin(), sum.end(), 0.0);
      double total = 0.0;
      for (int32_t k = std::max(-radius, -i); k <= radius && i + k < count; ++k) {
        const double w = weights[static_cast<std::size_t>(k + radius)];
        const double* source = &line[static_cast<std::size_t>(i + k) * n];
        for (std::size_t t = 0; t < n; ++t) sum[t] += w * source[t];
        total += w;
      }
      float* out = &data[static_cast<std::size_t>(start + i * stride) * n];
      for (std::size_t t = 0; t < n; ++t) out[t] = static_cast<float>(sum[t] / total);
    }
  }
}

}  // namespace

std::array<double, 3> voxelSizesOf(const StudyGrid& grid) {
  std::array<double, 3> sizes{};
  for (int axis = 0; axis < 3; ++axis) {
    double squares = 0.0;
    for (int row = 0; row < 3; ++row) squares += grid.affine[row][axis] * grid.affine[row][axis];
    sizes[axis] = std::sqrt(squares);
  }
  return sizes;
}

void smoothVolumes(std::span<float> data, const StudyGrid& grid, int32_t volumes, double fwhmMm) {
  if (!(fwhmMm > 0.0) || volumes <= 0) return;
  const std::array<int32_t, 3> dims = {grid.dims.DimX, grid.dims.DimY, grid.dims.DimZ};
  const std::array<double, 3> sizes = voxelSizesOf(grid);
  const std::array<int64_t, 3> strides = {1, int64_t{dims[0]}, int64_t{dims[0]} * dims[1]};
  for (int axis = 0; axis < 3; ++axis) {
    if (dims[axis] < 2 || !(sizes[axis] > 0.0)) continue;
    const double sigma = fwhmMm / (2.0 * std::sqrt(2.0 * std::log(2.0))) / sizes[axis];
    // The first voxel of every line along the axis.
    std::vector<int64_t> starts;
    for (int32_t z = 0; z < (axis == 2 ? 1 : dims[2]); ++z)
      for (int32_t y = 0; y < (axis == 1 ? 1 : dims[1]); ++y)
        for (int32_t x = 0; x < (axis == 0 ? 1 : dims[0]); ++x)
          starts.push_back(x + y * strides[1] + z * strides[2]);
    smoothAxis(data, volumes, dims[axis], strides[axis], static_cast<int64_t>(starts.size()),
               gaussianKernel(sigma), starts);
  }
}

}  // namespace cohortix::host
