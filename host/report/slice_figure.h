#pragma once
// Three orthogonal slices through the box as the report draws them: axial (a
// plane of constant Talairach z), coronal (constant y) and sagittal (constant x),
// one pixel per voxel, seen from above, from behind and from the left, the left
// hemisphere on the left (neurological order), with Talairach millimetres on the
// axes and the orientation letters at the edges.

#include <functional>
#include <string>
#include <vector>

#include "control/vtc_geometry.h"
#include "host/documents/vtc_document.h"
#include "host/io/status.h"
#include "host/report/png_image.h"

namespace cohortix::host {

enum class SlicePlane { Axial, Coronal, Sagittal };

// The plane and the voxel it passes through.
struct SliceView {
  SlicePlane plane = SlicePlane::Axial;
  VoxelIndex through;
};

// The three slices through one voxel.
std::vector<SliceView> orthogonalViews(const VoxelIndex& through);

// The voxel clamped into the box.
VoxelIndex clampedToBox(const VoxelIndex& voxel, VTCDims dims);

int sliceWidth(SlicePlane plane, VTCDims dims);
int sliceHeight(SlicePlane plane, VTCDims dims);
// The voxel drawn at pixel (column, row) of the view.
VoxelIndex voxelAtPixel(const SliceView& view, VTCDims dims, int column, int row);

// The view's image, each pixel coloured by the voxel it shows.
RgbImage sliceImage(const SliceView& view, VTCDims dims,
                    const std::function<Rgb(const VoxelIndex&)>& colourOf);

struct SliceMarker {
  VoxelIndex voxel;
  Rgb colour;
  bool crosshair = false;  // lines across the whole slice, else a dot
  std::string label;       // the dot's tooltip
};

// The slice as an SVG figure: the image scaled by whole pixels, axes in Talairach
// millimetres, the plane's own coordinate in the title, and the markers whose
// voxel lies in the plane (crosshairs always). With an outline (one flag per
// pixel, row by row), the edges between flagged and other pixels are drawn as a
// line over the image, which leaves every pixel's colour in view.
Result<std::string> sliceFigure(const SliceView& view, const VTCBox& box, VTCDims dims,
                                const RgbImage& image, const std::string& subject,
                                const std::vector<SliceMarker>& markers,
                                const std::vector<bool>& outline = {});

// The outline flags of a view: the pixels whose voxel is inside.
std::vector<bool> sliceOutline(const SliceView& view, VTCDims dims,
                               const std::function<bool(const VoxelIndex&)>& inside);

}  // namespace cohortix::host
