#pragma once
// sampleRow's body, written once for any vector width: included by one source
// per instruction set (spline_rows.cpp, spline_rows_avx2.cpp); everything here
// has internal linkage, so no copy compiled for one instruction set can stand
// in for another. No fused multiply-adds: every path gives the same bits.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "host/motion/spline_rows.h"

namespace cohortix::host::motion {
namespace {

using Four = float __attribute__((vector_size(16)));
using Eight = float __attribute__((vector_size(32)));
constexpr int32_t kLanes = 8;

// By reference: a vector wider than the baseline's registers is not passed by value.
inline void loadLanes(Eight& out, const float* values) { std::memcpy(&out, values, sizeof out); }

using Doubles = double __attribute__((vector_size(32)));
using Floats = float __attribute__((vector_size(16)));
using Ints = int32_t __attribute__((vector_size(16)));

// The cubic B-spline's weights at each voxel's source coordinate along axis r,
// for samples floor(x) - 1 .. floor(x) + 2, with the arithmetic of the
// voxel-by-voxel sampler (rigid_resampling.cpp's tapsAt), four voxels at a time.
// `Floor` rounds four doubles down.
template <class Floor>
void rowTaps(const GridAffine& s, int r, int32_t j, int32_t k, std::size_t n, RowScratch& scratch) {
  const auto axis = static_cast<std::size_t>(r);
  std::vector<int32_t>& first = scratch.first[axis];
  std::array<std::vector<float>, 4>& w = scratch.weight[axis];
  // Whole blocks of four: the arrays are kept a multiple of four long.
  const double p = s[r][1] * j, q = s[r][2] * k;
  const Doubles lanes = {0.0, 1.0, 2.0, 3.0};
  for (std::size_t i = 0; i < n; i += 4) {
    const Doubles x = ((s[r][0] * (lanes + static_cast<double>(i)) + p) + q) + s[r][3];
    // Within int32_t's range (a source beyond it lies beyond any margin; its
    // voxel is left to the caller).
    const Doubles clamped = x < -1e9 ? -1e9 : x > 1e9 ? 1e9 : x;
    Doubles whole;
    Floor()(clamped, whole);
    const Floats t = __builtin_convertvector(x - whole, Floats);
    const Floats u = 1.0f - t, t2 = t * t, u2 = u * u;
    const Floats w0 = u2 * u * (1.0f / 6.0f), w1 = 2.0f / 3.0f - t2 + 0.5f * t2 * t,
                 w2 = 2.0f / 3.0f - u2 + 0.5f * u2 * u, w3 = t2 * t * (1.0f / 6.0f);
    const Ints firsts = __builtin_convertvector(whole, Ints) - 1;
    std::memcpy(w[0].data() + i, &w0, sizeof w0);
    std::memcpy(w[1].data() + i, &w1, sizeof w1);
    std::memcpy(w[2].data() + i, &w2, sizeof w2);
    std::memcpy(w[3].data() + i, &w3, sizeof w3);
    std::memcpy(first.data() + i, &firsts, sizeof firsts);
  }
}

template <class Floor>
inline void sampleRowImpl(const PaddedCoefficients& c, const GridAffine& s, int32_t j, int32_t k,
                          RowScratch& scratch, float* out, std::vector<int32_t>& beyond) {
  const std::array<int32_t, 3>& dims = c.dims();
  const auto n = static_cast<std::size_t>(dims[0]);
  for (int r = 0; r < 3; ++r) rowTaps<Floor>(s, r, j, k, n, scratch);
  const int32_t* fx = scratch.first[0].data();
  const int32_t* fy = scratch.first[1].data();
  const int32_t* fz = scratch.first[2].data();
  const auto& wx = scratch.weight[0];
  const auto& wy = scratch.weight[1];
  const auto& wz = scratch.weight[2];
  constexpr int32_t m = PaddedCoefficients::kMargin;
  const auto inside = [&](int32_t first, int axis) { return first >= -m && first + 3 < dims[axis] + m; };
  const std::size_t sy = c.rowStride(), sz = c.planeStride();
  for (std::size_t i = 0; i < n;) {
    bool block = i + kLanes <= n && inside(fx[i], 0) && inside(fx[i] + kLanes - 1, 0) && inside(fy[i], 1) &&
                 inside(fz[i], 2);
    for (std::size_t lane = 1; block && lane < kLanes; ++lane)
      block = fy[i + lane] == fy[i] && fz[i + lane] == fz[i] && fx[i + lane] == fx[i] + static_cast<int32_t>(lane);
    if (block) {
      // Four sums, one per x tap, named so that they stay in registers.
      Eight s0 = {}, s1 = {}, s2 = {}, s3 = {};
      const float* origin = c.at(fx[i], fy[i], fz[i]);
      for (std::size_t a = 0; a < 4; ++a) {
        Eight za;
        loadLanes(za, wz[a].data() + i);
        for (std::size_t b = 0; b < 4; ++b) {
          Eight yb, t0, t1, t2, t3;
          loadLanes(yb, wy[b].data() + i);
          const Eight w = za * yb;
          const float* row = origin + a * sz + b * sy;
          loadLanes(t0, row);
          loadLanes(t1, row + 1);
          loadLanes(t2, row + 2);
          loadLanes(t3, row + 3);
          s0 += w * t0;
          s1 += w * t1;
          s2 += w * t2;
          s3 += w * t3;
        }
      }
      Eight x0, x1, x2, x3;
      loadLanes(x0, wx[0].data() + i);
      loadLanes(x1, wx[1].data() + i);
      loadLanes(x2, wx[2].data() + i);
      loadLanes(x3, wx[3].data() + i);
      const Eight moved = s0 * x0 + s1 * x1 + s2 * x2 + s3 * x3;
      std::memcpy(out + i, &moved, sizeof moved);
      i += kLanes;
      continue;
    }
    if (!inside(fx[i], 0) || !inside(fy[i], 1) || !inside(fz[i], 2)) {
      beyond.push_back(static_cast<int32_t>(i));
      ++i;
      continue;
    }
    // The 16 rows' four taps weighted by z and y side by side, then by x.
    Four rows{0.0f, 0.0f, 0.0f, 0.0f};
    const float* origin = c.at(fx[i], fy[i], fz[i]);
    for (std::size_t a = 0; a < 4; ++a)
      for (std::size_t b = 0; b < 4; ++b) {
        Four taps;
        std::memcpy(&taps, origin + a * sz + b * sy, sizeof taps);
        rows += (wz[a][i] * wy[b][i]) * taps;
      }
    out[i] = rows[0] * wx[0][i] + rows[1] * wx[1][i] + rows[2] * wx[2][i] + rows[3] * wx[3][i];
    ++i;
  }
}

// One step of the prefilter over a row of `inner` values, four at a time and
// the rest one by one, each value by `op` on its lanes: the same arithmetic for
// every value, whatever the width.
template <class Op>
inline void eachValue(std::size_t inner, Op op) {
  std::size_t i = 0;
  for (; i + 4 <= inner; i += 4) op.template operator()<Doubles>(i);
  for (; i < inner; ++i) op.template operator()<double>(i);
}

template <class V>
inline void loadAt(V& out, const double* values) {
  std::memcpy(&out, values, sizeof out);
}

template <class V>
inline void storeAt(double* values, const V& value) {
  std::memcpy(values, &value, sizeof value);
}

// prefilterRows's body (spline_rows.h).
inline void prefilterRowsImpl(double* values, std::size_t outer, std::size_t n, std::size_t inner) {
  if (n < 2) return;
  const double z = std::sqrt(3.0) - 2.0, gain = (1.0 - z) * (1.0 - 1.0 / z);
  // c+(0) = sum_k w_k c(k) / (1 - z^(2n - 2)), w_k = z^k + z^(2n - 2 - k) inside,
  // 1 and z^(n - 1) at the ends.
  std::vector<double> w(n);
  const double last = std::pow(z, static_cast<double>(n - 1));
  w[0] = 1.0;
  w[n - 1] = last;
  for (std::size_t k = 1; k + 1 < n; ++k)
    w[k] = std::pow(z, static_cast<double>(k)) + std::pow(z, static_cast<double>(2 * n - 2 - k));
  const double scale = gain / (1.0 - last * last);
  const double ending = z / (z * z - 1.0);
  std::vector<double> first(inner);
  for (std::size_t block = 0; block < outer; ++block) {
    double* c = values + block * n * inner;
    const auto row = [&](std::size_t k) { return c + k * inner; };
    std::fill(first.begin(), first.end(), 0.0);
    for (std::size_t k = 0; k < n; ++k) {
      const double* r = row(k);
      const double wk = w[k];
      eachValue(inner, [&]<class V>(std::size_t i) {
        V sum, value;
        loadAt(sum, &first[i]);
        loadAt(value, r + i);
        storeAt(&first[i], sum + wk * value);
      });
    }
    for (std::size_t k = 0; k < n; ++k) {
      double* r = row(k);
      eachValue(inner, [&]<class V>(std::size_t i) {
        V value;
        loadAt(value, r + i);
        storeAt(r + i, value * gain);
      });
    }
    eachValue(inner, [&]<class V>(std::size_t i) {
      V sum;
      loadAt(sum, &first[i]);
      storeAt(row(0) + i, sum * scale);
    });
    for (std::size_t k = 1; k < n; ++k) {
      double* r = row(k);
      const double* before = row(k - 1);
      eachValue(inner, [&]<class V>(std::size_t i) {
        V value, previous;
        loadAt(value, r + i);
        loadAt(previous, before + i);
        storeAt(r + i, value + z * previous);
      });
    }
    {
      double* r = row(n - 1);
      const double* before = row(n - 2);
      eachValue(inner, [&]<class V>(std::size_t i) {
        V value, previous;
        loadAt(value, r + i);
        loadAt(previous, before + i);
        storeAt(r + i, ending * (z * previous + value));
      });
    }
    for (std::size_t k = n - 1; k-- > 0;) {
      double* r = row(k);
      const double* after = row(k + 1);
      eachValue(inner, [&]<class V>(std::size_t i) {
        V value, next;
        loadAt(value, r + i);
        loadAt(next, after + i);
        storeAt(r + i, z * (next - value));
      });
    }
  }
}

}  // namespace
}  // namespace cohortix::host::motion
