#include "host/anatomy/brain_extraction.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace cohortix::host::anatomy {
namespace {

constexpr double kErosionMm = 5.0;
constexpr double kClosingMm = 2.0;
constexpr double kBrainAloneDice = 0.85;
constexpr int kBins = 256;

using Mask = std::vector<uint8_t>;

struct Shape {
  int64_t x, y, z;
  std::size_t voxels() const { return static_cast<std::size_t>(x * y * z); }
};

// Otsu's threshold of the values: the bin edge that best splits them in two.
float otsuThreshold(const std::vector<float>& values) {
  const auto [low, high] = std::minmax_element(values.begin(), values.end());
  const double lo = *low, width = (*high - lo) / kBins;
  if (!(width > 0)) return *low;
  std::array<double, kBins> counts{};
  for (const float v : values) counts[std::min<std::size_t>(static_cast<std::size_t>((v - lo) / width), kBins - 1)] += 1;
  double total = 0, totalSum = 0;
  for (int b = 0; b < kBins; ++b) total += counts[b], totalSum += counts[b] * (lo + (b + 0.5) * width);
  double below = 0, belowSum = 0, best = -1, threshold = lo;
  for (int b = 0; b < kBins; ++b) {
    const double centre = lo + (b + 0.5) * width;
    below += counts[b], belowSum += counts[b] * centre;
    const double above = total - below;
    if (below <= 0 || above <= 0) continue;
    const double between = std::pow(totalSum * below - belowSum * total, 2) / (below * above);
    if (between > best) best = between, threshold = centre;
  }
  return static_cast<float>(threshold);
}

// One six-neighbour step: erosion keeps a voxel whose six neighbours are all set
// (outside the image counts as unset), dilation sets a voxel with any set.
Mask stepped(const Mask& in, const Shape& s, bool erode) {
  Mask out(in.size(), 0);
  const auto at = [&](int64_t x, int64_t y, int64_t z) -> uint8_t {
    if (x < 0 || y < 0 || z < 0 || x >= s.x || y >= s.y || z >= s.z) return 0;
    return in[static_cast<std::size_t>((z * s.y + y) * s.x + x)];
  };
  std::size_t v = 0;
  for (int64_t z = 0; z < s.z; ++z)
    for (int64_t y = 0; y < s.y; ++y)
      for (int64_t x = 0; x < s.x; ++x, ++v) {
        const int neighbours = at(x - 1, y, z) + at(x + 1, y, z) + at(x, y - 1, z) + at(x, y + 1, z) +
                               at(x, y, z - 1) + at(x, y, z + 1);
        out[v] = erode ? (in[v] && neighbours == 6) : (in[v] || neighbours > 0);
      }
  return out;
}

Mask repeated(Mask mask, const Shape& s, bool erode, int steps) {
  for (int i = 0; i < steps; ++i) mask = stepped(mask, s, erode);
  return mask;
}

// The six-connected parts of the set voxels (or, with `value` 0, of the unset
// ones): a label per voxel, 0 for the others, and each part's size.
std::vector<int32_t> parts(const Mask& mask, const Shape& s, uint8_t value, std::vector<std::size_t>& sizes) {
  std::vector<int32_t> label(mask.size(), 0);
  std::vector<std::size_t> stack;
  sizes.assign(1, 0);
  for (std::size_t seed = 0; seed < mask.size(); ++seed) {
    if (mask[seed] != value || label[seed] != 0) continue;
    const auto id = static_cast<int32_t>(sizes.size());
    sizes.push_back(0);
    label[seed] = id;
    stack.push_back(seed);
    while (!stack.empty()) {
      const std::size_t v = stack.back();
      stack.pop_back();
      ++sizes.back();
      const auto i = static_cast<int64_t>(v);
      const int64_t x = i % s.x, y = i / s.x % s.y, z = i / (s.x * s.y);
      const int64_t next[6][3] = {{x - 1, y, z}, {x + 1, y, z}, {x, y - 1, z}, {x, y + 1, z}, {x, y, z - 1}, {x, y, z + 1}};
      for (const auto& n : next) {
        if (n[0] < 0 || n[1] < 0 || n[2] < 0 || n[0] >= s.x || n[1] >= s.y || n[2] >= s.z) continue;
        const auto w = static_cast<std::size_t>((n[2] * s.y + n[1]) * s.x + n[0]);
        if (mask[w] == value && label[w] == 0) label[w] = id, stack.push_back(w);
      }
    }
  }
  return label;
}

// The unset parts that do not touch the image's faces, set.
Mask holesFilled(Mask mask, const Shape& s) {
  std::vector<std::size_t> sizes;
  const std::vector<int32_t> label = parts(mask, s, 0, sizes);
  std::vector<bool> outside(sizes.size(), false);
  std::size_t v = 0;
  for (int64_t z = 0; z < s.z; ++z)
    for (int64_t y = 0; y < s.y; ++y)
      for (int64_t x = 0; x < s.x; ++x, ++v)
        if (x == 0 || y == 0 || z == 0 || x == s.x - 1 || y == s.y - 1 || z == s.z - 1) outside[label[v]] = true;
  for (std::size_t i = 0; i < mask.size(); ++i)
    if (label[i] != 0 && !outside[label[i]]) mask[i] = 1;
  return mask;
}

// Steps of one voxel for `mm` millimetres: the voxels' mean edge.
int stepsFor(const NiftiVolume& image, double mm) {
  double size = 0;
  for (int c = 0; c < 3; ++c)
    size += std::sqrt(image.affine[0][c] * image.affine[0][c] + image.affine[1][c] * image.affine[1][c] +
                      image.affine[2][c] * image.affine[2][c]) / 3;
  return std::max(1, static_cast<int>(std::lround(mm / (size > 0 ? size : 1.0))));
}

}  // namespace

std::vector<uint8_t> derivedBrainMask(const NiftiVolume& head) {
  const Shape s{head.dims.DimX, head.dims.DimY, head.dims.DimZ};
  if (head.data.size() < s.voxels() || s.voxels() == 0) return Mask(s.voxels(), 0);
  const float threshold = otsuThreshold(head.data);
  Mask tissue(s.voxels());
  for (std::size_t v = 0; v < tissue.size(); ++v) tissue[v] = head.data[v] > threshold;
  const int erosion = stepsFor(head, kErosionMm), closing = stepsFor(head, kClosingMm);
  const Mask core = repeated(tissue, s, true, erosion);
  std::vector<std::size_t> sizes;
  const std::vector<int32_t> label = parts(core, s, 1, sizes);
  if (sizes.size() < 2) return Mask(s.voxels(), 0);
  const auto largest = static_cast<int32_t>(std::max_element(sizes.begin() + 1, sizes.end()) - sizes.begin());
  Mask brain(s.voxels());
  for (std::size_t v = 0; v < brain.size(); ++v) brain[v] = label[v] == largest;
  brain = repeated(std::move(brain), s, false, erosion);
  for (std::size_t v = 0; v < brain.size(); ++v) brain[v] = brain[v] && tissue[v];
  brain = repeated(repeated(std::move(brain), s, false, closing), s, true, closing);
  return holesFilled(std::move(brain), s);
}

bool isBrainAlone(const NiftiVolume& image, const std::vector<uint8_t>& derived) {
  std::size_t both = 0, nonZero = 0, found = 0;
  for (std::size_t v = 0; v < derived.size() && v < image.data.size(); ++v) {
    const bool set = image.data[v] != 0.0f;
    nonZero += set, found += derived[v] != 0, both += set && derived[v] != 0;
  }
  return nonZero + found > 0 && 2.0 * static_cast<double>(both) / static_cast<double>(nonZero + found) >= kBrainAloneDice;
}

}  // namespace cohortix::host::anatomy
