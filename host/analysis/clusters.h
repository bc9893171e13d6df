#pragma once
// Clusters of a thresholded map: sets of voxels on the same side of the threshold
// (above it, or, for two tails, below its negative) joined through neighbours that
// share a face (6 neighbours), also an edge (18) or also a corner (26).

#include <cstdint>
#include <optional>
#include <vector>

#include "host/analysis/t_distribution.h"

namespace cohortix::host {

// A volume's voxels, x fastest, then y, then z.
struct GridShape {
  int32_t x = 0, y = 0, z = 0;
  int64_t voxels() const { return int64_t{x} * y * z; }
};

enum class Connectivity { Faces = 6, Edges = 18, Corners = 26 };
std::optional<Connectivity> connectivityWith(int neighbours);

// +1 or -1: the side of the cluster-forming threshold formingT (> 0) that t lies
// beyond, at or past it; 0: neither (for Tail::Upper only the positive side counts).
int8_t clusterSide(double t, double formingT, Tail tail);

class ClusterFinder {
 public:
  ClusterFinder(GridShape grid, Connectivity connectivity);

  // sides: one per voxel of the grid (std::invalid_argument otherwise), +1 or -1
  // in a cluster of that side, 0 outside any.
  // Labels every cluster 1, 2, ... in the order of its first voxel; returns the
  // labels (0 outside) and sets sizes[label - 1].
  const std::vector<int32_t>& label(const std::vector<int8_t>& sides, std::vector<int64_t>& sizes);
  // The number of voxels of the largest cluster, 0 when there is none.
  int64_t largest(const std::vector<int8_t>& sides);

 private:
  GridShape grid_;
  struct Step {
    int32_t dx, dy, dz;
    int64_t offset;
  };
  std::vector<Step> steps_;
  std::vector<int32_t> labels_;
  std::vector<int64_t> pending_;
  std::vector<int64_t> sizes_;
};

}  // namespace cohortix::host
