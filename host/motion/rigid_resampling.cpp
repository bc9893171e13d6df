#include "host/motion/rigid_resampling.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace cohortix::host::motion {
namespace {

using Matrix = std::array<std::array<double, 3>, 3>;

Matrix inverse(const Matrix& a) {
  const double det = a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
                     a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                     a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
  Matrix out{};
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) {
      const int r1 = (c + 1) % 3, r2 = (c + 2) % 3, c1 = (r + 1) % 3, c2 = (r + 2) % 3;
      out[r][c] = (a[r1][c1] * a[r2][c2] - a[r1][c2] * a[r2][c1]) / det;
    }
  return out;
}

// The cubic B-spline's four weights at x, for samples floor(x) - 1 .. floor(x) + 2,
// and their indices folded into the line.
struct Taps {
  std::array<float, 4> weight;
  std::array<int32_t, 4> index;
  bool contiguous = false;  // index[0] .. index[0] + 3, none of them folded
};

// Four floats side by side (GCC's and Clang's vector extension): the four taps
// along x in one register.
using Four = float __attribute__((vector_size(16)));

Taps tapsAt(double x, int32_t n) {
  // floor(x) without the library's call: truncation, one down for negatives.
  auto whole = static_cast<int64_t>(x);
  if (static_cast<double>(whole) > x) --whole;
  const auto t = static_cast<float>(x - static_cast<double>(whole));
  const float u = 1.0f - t, t2 = t * t, u2 = u * u;
  Taps taps;
  taps.weight = {u2 * u * (1.0f / 6.0f), 2.0f / 3.0f - t2 + 0.5f * t2 * t, 2.0f / 3.0f - u2 + 0.5f * u2 * u,
                 t2 * t * (1.0f / 6.0f)};
  const int64_t first = whole - 1;
  if (first >= 0 && first + 3 < n) {
    const auto i = static_cast<int32_t>(first);
    taps.index = {i, i + 1, i + 2, i + 3};
    taps.contiguous = true;
  } else {
    for (int k = 0; k < 4; ++k) taps.index[k] = mirroredIndex(first + k, n);
  }
  return taps;
}

}  // namespace

std::array<double, 3> RigidResampler::centre() const {
  std::array<double, 3> centre{};
  for (int r = 0; r < 3; ++r) {
    centre[r] = affine_[r][3];
    for (int c = 0; c < 3; ++c) centre[r] += affine_[r][c] * (dims_[c] - 1) / 2.0;
  }
  return centre;
}

GridAffine RigidResampler::sourceOf(const Pose& pose) const {
  Matrix a{};
  std::array<double, 3> b{};
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) a[r][c] = affine_[r][c];
    b[r] = affine_[r][3];
  }
  const std::array<double, 3> centre = this->centre();
  const Matrix ai = inverse(a);
  const Rotation rotation = rotationOf(pose);
  // source = A^-1 (R^T (A v + b - c - t) + c - b)
  Matrix rta{};  // R^T A
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c)
      for (int i = 0; i < 3; ++i) rta[r][c] += rotation[i][r] * a[i][c];
  std::array<double, 3> shift{};  // R^T (b - c - t) + c - b
  for (int r = 0; r < 3; ++r) {
    for (int i = 0; i < 3; ++i) shift[r] += rotation[i][r] * (b[i] - centre[i] - pose[i]);
    shift[r] += centre[r] - b[r];
  }
  GridAffine source{};
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c)
      for (int i = 0; i < 3; ++i) source[r][c] += ai[r][i] * rta[i][c];
    for (int i = 0; i < 3; ++i) source[r][3] += ai[r][i] * shift[i];
  }
  return source;
}

void RigidResampler::prefilter(std::span<float> image) const {
  const auto nx = static_cast<std::size_t>(dims_[0]), ny = static_cast<std::size_t>(dims_[1]),
             nz = static_cast<std::size_t>(dims_[2]);
  // Along x with each plane turned (x the slow axis), so that this pass too runs
  // along contiguous rows; then along y and z in place.
  std::vector<double> turned(image.size()), values(image.size());
  for (std::size_t k = 0; k < nz; ++k)
    for (std::size_t j = 0; j < ny; ++j)
      for (std::size_t i = 0; i < nx; ++i) turned[(k * nx + i) * ny + j] = image[(k * ny + j) * nx + i];
  prefilterRows(turned.data(), nz, nx, ny);
  for (std::size_t k = 0; k < nz; ++k)
    for (std::size_t i = 0; i < nx; ++i)
      for (std::size_t j = 0; j < ny; ++j) values[(k * ny + j) * nx + i] = turned[(k * nx + i) * ny + j];
  prefilterRows(values.data(), nz, ny, nx);
  prefilterRows(values.data(), 1, nz, nx * ny);
  std::transform(values.begin(), values.end(), image.begin(), [](double v) { return static_cast<float>(v); });
}

void RigidResampler::sample(std::span<const float> c, const GridAffine& s, std::span<float> moved) const {
  const PaddedCoefficients padded(c, dims_);
  RowScratch scratch;
  std::vector<int32_t> beyond;
  const auto nx = static_cast<std::size_t>(dims_[0]);
  for (int32_t k = 0; k < dims_[2]; ++k)
    for (int32_t j = 0; j < dims_[1]; ++j) {
      float* row = moved.data() + (static_cast<std::size_t>(k) * static_cast<std::size_t>(dims_[1]) +
                                   static_cast<std::size_t>(j)) * nx;
      beyond.clear();
      sampleRow(padded, s, j, k, scratch, row, beyond);
      for (const int32_t i : beyond) sampleVoxel(c, s, i, j, k, row[i]);
    }
}

void RigidResampler::sampleVoxel(std::span<const float> c, const GridAffine& s, int32_t i, int32_t j, int32_t k,
                                 float& moved) const {
  const int32_t nx = dims_[0], ny = dims_[1], nz = dims_[2];
  const std::size_t sy = static_cast<std::size_t>(nx), sz = sy * static_cast<std::size_t>(ny);
  const Taps tx = tapsAt(s[0][0] * i + s[0][1] * j + s[0][2] * k + s[0][3], nx);
  const Taps ty = tapsAt(s[1][0] * i + s[1][1] * j + s[1][2] * k + s[1][3], ny);
  const Taps tz = tapsAt(s[2][0] * i + s[2][1] * j + s[2][2] * k + s[2][3], nz);
  if (tx.contiguous) {
    // The 16 rows' four taps weighted by z and y side by side, then by x.
    Four rows{0.0f, 0.0f, 0.0f, 0.0f};
    for (int a = 0; a < 4; ++a) {
      const float* plane = c.data() + static_cast<std::size_t>(tz.index[a]) * sz + tx.index[0];
      for (int b = 0; b < 4; ++b) {
        Four taps;
        std::memcpy(&taps, plane + static_cast<std::size_t>(ty.index[b]) * sy, sizeof taps);
        rows += (tz.weight[a] * ty.weight[b]) * taps;
      }
    }
    moved = rows[0] * tx.weight[0] + rows[1] * tx.weight[1] + rows[2] * tx.weight[2] + rows[3] * tx.weight[3];
    return;
  }
  float sum = 0.0f;
  for (int a = 0; a < 4; ++a) {
    const float* plane = c.data() + static_cast<std::size_t>(tz.index[a]) * sz;
    float inPlane = 0.0f;
    for (int b = 0; b < 4; ++b) {
      const float* row = plane + static_cast<std::size_t>(ty.index[b]) * sy;
      inPlane += ty.weight[b] * (tx.weight[0] * row[tx.index[0]] + tx.weight[1] * row[tx.index[1]] +
                                 tx.weight[2] * row[tx.index[2]] + tx.weight[3] * row[tx.index[3]]);
    }
    sum += tz.weight[a] * inPlane;
  }
  moved = sum;
}

void RigidResampler::move(std::span<float> image, const Pose& pose, std::span<float> moved) const {
  if (image.size() != voxels() || moved.size() != voxels())
    throw std::runtime_error("the image to move is not of the resampler's grid");
  prefilter(image);
  sample(image, sourceOf(pose), moved);
}

}  // namespace cohortix::host::motion
