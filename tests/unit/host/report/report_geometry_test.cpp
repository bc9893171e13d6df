// Where the report draws things: the regions' label map holds exactly the voxels
// a run writes, and every slice is drawn with the left hemisphere on the left,
// anterior (axial) or superior (coronal, sagittal) at the top.

#include <gtest/gtest.h>

#include <set>
#include <tuple>

#include "host/report/label_map.h"
#include "host/report/slice_figure.h"
#include "tests/support/control_fixtures.h"

namespace cohortix::host {
namespace {

std::size_t count(const LabelMap& map, int label) {
  std::size_t n = 0;
  for (const uint8_t l : map.labels()) n += l == label;
  return n;
}

TEST(RegionLabelMap, HoldsTheVoxelsOfEachSphereAsARunWritesThem) {
  auto design = testing::emptyDesign();
  design->NrOfRegions = 1;
  const VTCDims dims{20, 20, 20};
  // Radius: voxels written (the centre, its face neighbours, ...).
  for (const auto& [radius, voxels] : std::vector<std::pair<float, std::size_t>>{
           {0.4f, 1}, {1.0f, 7}, {1.5f, 19}, {-0.3f, 0}, {-0.6f, 0}, {2.0f, 33}}) {
    design->Regions[0].Radius = radius;
    EXPECT_EQ(count(regionLabelMap(*design, dims, {{10, 10, 10}}), 1), voxels) << "radius " << radius;
  }
  // A centre one voxel outside the box: the half sphere that lies inside.
  design->Regions[0].Radius = 3.0f;
  const std::size_t whole = count(regionLabelMap(*design, dims, {{10, 10, 10}}), 1);
  const std::size_t edge = count(regionLabelMap(*design, dims, {{10, 10, -1}}), 1);
  EXPECT_EQ(whole, 123u);
  // Planes 1, 2 and 3 above the centre: 25 + 21 + 1 voxels.
  EXPECT_EQ(edge, 47u);
  EXPECT_EQ(regionLabelMap(*design, dims, {{10, 10, -1}}).label({10, 10, 0}), 1);
}

TEST(RegionLabelMap, ALaterRegionReplacesAnEarlierOneWhereTheyOverlap) {
  auto design = testing::emptyDesign();
  design->NrOfRegions = 2;
  design->Regions[0].Radius = 2.0f;
  design->Regions[1].Radius = 2.0f;
  const LabelMap map = regionLabelMap(*design, {12, 12, 12}, {{5, 5, 5}, {7, 5, 5}});
  EXPECT_EQ(map.label({6, 5, 5}), 2);
  EXPECT_EQ(map.label({3, 5, 5}), 1);
  EXPECT_EQ(count(map, 2), 33u);
  const VoxelIndex quiet = quietVoxel(*design, map, {{5, 5, 5}, {7, 5, 5}});
  EXPECT_EQ(map.label(quiet), 0);
}

TEST(SliceViews, ShowLeftOnTheLeftAndAnteriorOrSuperiorAtTheTop) {
  const VTCBox box{60, 90, 40, 61, 50, 74, 3};
  const VTCDims dims{10, 7, 8};
  const TalairachAffine affine = talairachAffine(box);
  const auto talairach = [&affine](const VoxelIndex& v, int axis) {
    return affine[axis][0] * v.X + affine[axis][1] * v.Y + affine[axis][2] * v.Z + affine[axis][3];
  };
  enum { X, Y, Z };
  struct Expected {
    SlicePlane plane;
    int across, down;  // the Talairach axis along columns and rows
    double acrossSign, downSign;
    int fixed;
  };
  for (const Expected& e : {Expected{SlicePlane::Axial, X, Y, +1, -1, Z},
                            Expected{SlicePlane::Coronal, X, Z, +1, -1, Y},
                            Expected{SlicePlane::Sagittal, Y, Z, -1, -1, X}}) {
    const SliceView view{e.plane, {4, 3, 5}};
    const int width = sliceWidth(e.plane, dims), height = sliceHeight(e.plane, dims);
    const VoxelIndex origin = voxelAtPixel(view, dims, 0, 0);
    const VoxelIndex right = voxelAtPixel(view, dims, width - 1, 0);
    const VoxelIndex below = voxelAtPixel(view, dims, 0, height - 1);
    EXPECT_GT(e.acrossSign * (talairach(right, e.across) - talairach(origin, e.across)), 0);
    EXPECT_GT(e.downSign * (talairach(below, e.down) - talairach(origin, e.down)), 0);
    EXPECT_EQ(talairach(right, e.fixed), talairach(origin, e.fixed));
    EXPECT_EQ(talairach(below, e.fixed), talairach(view.through, e.fixed));
    // Every pixel shows a voxel of the box, each at most once.
    std::set<std::tuple<int, int, int>> seen;
    for (int row = 0; row < height; ++row) {
      for (int column = 0; column < width; ++column) {
        const VoxelIndex v = voxelAtPixel(view, dims, column, row);
        EXPECT_TRUE(v.X >= 0 && v.X < dims.x && v.Y >= 0 && v.Y < dims.y && v.Z >= 0 && v.Z < dims.z);
        seen.insert({v.X, v.Y, v.Z});
      }
    }
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(width * height));
  }
}

}  // namespace
}  // namespace cohortix::host
