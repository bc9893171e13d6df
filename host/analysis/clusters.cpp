#include "host/analysis/clusters.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace cohortix::host {

std::optional<Connectivity> connectivityWith(int neighbours) {
  for (Connectivity c : {Connectivity::Faces, Connectivity::Edges, Connectivity::Corners})
    if (static_cast<int>(c) == neighbours) return c;
  return std::nullopt;
}

int8_t clusterSide(double t, double formingT, Tail tail) {
  if (t >= formingT) return 1;
  return tail == Tail::Two && t <= -formingT ? -1 : 0;
}

ClusterFinder::ClusterFinder(GridShape grid, Connectivity connectivity) : grid_(grid) {
  // A neighbour differs by at most 1 along each axis, along 1 axis for faces, at
  // most 2 for edges, any for corners.
  const int most = connectivity == Connectivity::Faces ? 1 : connectivity == Connectivity::Edges ? 2 : 3;
  for (int dz = -1; dz <= 1; ++dz)
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx) {
        const int axes = std::abs(dx) + std::abs(dy) + std::abs(dz);
        if (axes == 0 || axes > most) continue;
        steps_.push_back({dx, dy, dz, dx + int64_t{grid.x} * (dy + int64_t{grid.y} * dz)});
      }
}

const std::vector<int32_t>& ClusterFinder::label(const std::vector<int8_t>& sides, std::vector<int64_t>& sizes) {
  const int64_t voxels = grid_.voxels();
  if (static_cast<int64_t>(sides.size()) != voxels)
    throw std::invalid_argument("a map of " + std::to_string(sides.size()) + " voxels on a grid of " +
                                std::to_string(voxels));
  labels_.assign(static_cast<std::size_t>(voxels), 0);
  sizes.clear();
  for (int64_t seed = 0; seed < voxels; ++seed) {
    const int8_t side = sides[static_cast<std::size_t>(seed)];
    if (side == 0 || labels_[static_cast<std::size_t>(seed)] != 0) continue;
    const auto label = static_cast<int32_t>(sizes.size() + 1);
    int64_t size = 0;
    labels_[static_cast<std::size_t>(seed)] = label;
    pending_.assign(1, seed);
    while (!pending_.empty()) {
      const int64_t v = pending_.back();
      pending_.pop_back();
      ++size;
      const int32_t x = static_cast<int32_t>(v % grid_.x);
      const int32_t y = static_cast<int32_t>(v / grid_.x % grid_.y);
      const int32_t z = static_cast<int32_t>(v / grid_.x / grid_.y);
      for (const Step& step : steps_) {
        if (x + step.dx < 0 || x + step.dx >= grid_.x || y + step.dy < 0 || y + step.dy >= grid_.y ||
            z + step.dz < 0 || z + step.dz >= grid_.z)
          continue;
        const auto next = static_cast<std::size_t>(v + step.offset);
        if (sides[next] != side || labels_[next] != 0) continue;
        labels_[next] = label;
        pending_.push_back(v + step.offset);
      }
    }
    sizes.push_back(size);
  }
  return labels_;
}

int64_t ClusterFinder::largest(const std::vector<int8_t>& sides) {
  label(sides, sizes_);
  return sizes_.empty() ? 0 : *std::max_element(sizes_.begin(), sizes_.end());
}

}  // namespace cohortix::host
