#include "host/report/slice_figure.h"

#include <algorithm>

#include "host/report/html_text.h"
#include "host/report/number_text.h"
#include "host/report/palette.h"
#include "host/report/svg_plot.h"

namespace cohortix::host {
namespace {

constexpr double kLeft = 56, kTop = 24, kRight = 22, kBottom = 44;
constexpr int kTargetPixels = 220;

// Talairach millimetres of VTC index i, j or k, as the affine gives them.
double talairachX(const VTCBox& box, double k) { return kAnatomyCentre - box.ZStart - box.Resolution * k; }
double talairachY(const VTCBox& box, double i) { return kAnatomyCentre - box.XStart - box.Resolution * i; }
double talairachZ(const VTCBox& box, double j) { return kAnatomyCentre - box.YStart - box.Resolution * j; }

struct PlaneAxes {
  std::string name;
  std::string fixedAxis;      // "z" for axial
  double fixedMillimetres;
  std::string across, down;   // axis titles
  double (*acrossMm)(const VTCBox&, VTCDims, double column);
  double (*downMm)(const VTCBox&, VTCDims, double row);
  const char* letters[4];     // left, right, top, bottom
};

double xOfColumn(const VTCBox& box, VTCDims dims, double column) {
  return talairachX(box, dims.z - 1 - column);
}
double yOfColumn(const VTCBox& box, VTCDims, double column) { return talairachY(box, column); }
double yOfRow(const VTCBox& box, VTCDims, double row) { return talairachY(box, row); }
double zOfRow(const VTCBox& box, VTCDims, double row) { return talairachZ(box, row); }

PlaneAxes axesOf(const SliceView& view, const VTCBox& box) {
  const VoxelIndex& v = view.through;
  switch (view.plane) {
    case SlicePlane::Axial:
      return {"Axial", "z", talairachZ(box, v.Y), "Talairach x (mm)", "Talairach y (mm)",
              xOfColumn, yOfRow, {"L", "R", "A", "P"}};
    case SlicePlane::Coronal:
      return {"Coronal", "y", talairachY(box, v.X), "Talairach x (mm)", "Talairach z (mm)",
              xOfColumn, zOfRow, {"L", "R", "S", "I"}};
    case SlicePlane::Sagittal: break;
  }
  return {"Sagittal", "x", talairachX(box, v.Z), "Talairach y (mm)", "Talairach z (mm)",
          yOfColumn, zOfRow, {"A", "P", "S", "I"}};
}

// The pixel of a voxel in the view; false when the voxel is not in its plane.
bool pixelOf(const SliceView& view, VTCDims dims, const VoxelIndex& v, int& column, int& row) {
  switch (view.plane) {
    case SlicePlane::Axial:
      column = dims.z - 1 - v.Z, row = v.X;
      return v.Y == view.through.Y;
    case SlicePlane::Coronal:
      column = dims.z - 1 - v.Z, row = v.Y;
      return v.X == view.through.X;
    case SlicePlane::Sagittal: break;
  }
  column = v.X, row = v.Y;
  return v.Z == view.through.Z;
}

// The edges between flagged and unflagged pixels (the image's border counts as
// unflagged), as one path in image pixels scaled by `scale`.
std::string outlinePath(const std::vector<bool>& flags, int width, int height, int scale) {
  const auto flagged = [&](int column, int row) {
    return column >= 0 && row >= 0 && column < width && row < height &&
           flags[static_cast<std::size_t>(row) * width + column];
  };
  const auto x = [&](int column) { return svgNumber(kLeft + static_cast<double>(column) * scale); };
  const auto y = [&](int row) { return svgNumber(kTop + static_cast<double>(row) * scale); };
  std::string d;
  for (int row = 0; row <= height; ++row)
    for (int column = 0; column <= width; ++column) {
      // The pixel's top edge, then its left edge.
      if (column < width && flagged(column, row) != flagged(column, row - 1))
        d += "M" + x(column) + " " + y(row) + "h" + std::to_string(scale);
      if (row < height && flagged(column, row) != flagged(column - 1, row))
        d += "M" + x(column) + " " + y(row) + "v" + std::to_string(scale);
    }
  if (d.empty()) return "";
  return "<path class=\"outline\" d=\"" + d + "\" fill=\"none\" stroke=\"#000\" stroke-width=\"1.5\"/>";
}

}  // namespace

std::vector<SliceView> orthogonalViews(const VoxelIndex& through) {
  return {{SlicePlane::Axial, through}, {SlicePlane::Coronal, through}, {SlicePlane::Sagittal, through}};
}

VoxelIndex clampedToBox(const VoxelIndex& voxel, VTCDims dims) {
  return {std::clamp(voxel.X, 0, std::max(dims.x - 1, 0)), std::clamp(voxel.Y, 0, std::max(dims.y - 1, 0)),
          std::clamp(voxel.Z, 0, std::max(dims.z - 1, 0))};
}

int sliceWidth(SlicePlane plane, VTCDims dims) { return plane == SlicePlane::Sagittal ? dims.x : dims.z; }

int sliceHeight(SlicePlane plane, VTCDims dims) { return plane == SlicePlane::Axial ? dims.x : dims.y; }

VoxelIndex voxelAtPixel(const SliceView& view, VTCDims dims, int column, int row) {
  const VoxelIndex& t = view.through;
  switch (view.plane) {
    case SlicePlane::Axial: return {row, t.Y, dims.z - 1 - column};
    case SlicePlane::Coronal: return {t.X, row, dims.z - 1 - column};
    case SlicePlane::Sagittal: break;
  }
  return {column, row, t.Z};
}

RgbImage sliceImage(const SliceView& view, VTCDims dims,
                    const std::function<Rgb(const VoxelIndex&)>& colourOf) {
  RgbImage image(sliceWidth(view.plane, dims), sliceHeight(view.plane, dims));
  for (int row = 0; row < image.height(); ++row)
    for (int column = 0; column < image.width(); ++column)
      image.at(column, row) = colourOf(voxelAtPixel(view, dims, column, row));
  return image;
}

std::vector<bool> sliceOutline(const SliceView& view, VTCDims dims,
                               const std::function<bool(const VoxelIndex&)>& inside) {
  const int width = sliceWidth(view.plane, dims), height = sliceHeight(view.plane, dims);
  std::vector<bool> flags(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  for (int row = 0; row < height; ++row)
    for (int column = 0; column < width; ++column)
      flags[static_cast<std::size_t>(row) * width + column] = inside(voxelAtPixel(view, dims, column, row));
  return flags;
}

Result<std::string> sliceFigure(const SliceView& view, const VTCBox& box, VTCDims dims,
                                const RgbImage& image, const std::string& subject,
                                const std::vector<SliceMarker>& markers, const std::vector<bool>& outline) {
  Result<std::string> png = encodePng(image);
  if (!png) return png.status();
  const PlaneAxes axes = axesOf(view, box);
  const int scale = std::max(1, kTargetPixels / std::max({image.width(), image.height(), 1}));
  const double w = image.width() * scale, h = image.height() * scale;
  const int width = static_cast<int>(kLeft + w + kRight), height = static_cast<int>(kTop + h + kBottom);
  const std::string title = axes.name + ", " + axes.fixedAxis + " = " + shortText(axes.fixedMillimetres, 1) + " mm";
  std::string out = svgOpen(width, height, subject + ": " + title);
  out += "<text x=\"" + svgNumber(kLeft) + "\" y=\"15\" class=\"title\">" + htmlText(title) + "</text>";
  out += "<image x=\"" + svgNumber(kLeft) + "\" y=\"" + svgNumber(kTop) + "\" width=\"" + svgNumber(w) +
         "\" height=\"" + svgNumber(h) + "\" preserveAspectRatio=\"none\" href=\"" +
         pngDataUri(png.value()) + "\"/>";
  const auto pixelX = [&](double column) { return kLeft + (column + 0.5) * scale; };
  const auto pixelY = [&](double row) { return kTop + (row + 0.5) * scale; };
  if (outline.size() == static_cast<std::size_t>(image.width()) * static_cast<std::size_t>(image.height()))
    out += outlinePath(outline, image.width(), image.height(), scale);
  for (const SliceMarker& marker : markers) {
    int column = 0, row = 0;
    const bool inPlane = pixelOf(view, dims, marker.voxel, column, row);
    if (marker.crosshair) {
      out += "<path class=\"crosshair\" d=\"M" + svgNumber(kLeft) + " " + svgNumber(pixelY(row)) + "h" +
             svgNumber(w) + "M" + svgNumber(pixelX(column)) + " " + svgNumber(kTop) + "v" + svgNumber(h) +
             "\" stroke=\"" + cssColour(marker.colour) + "\"/>";
    } else if (inPlane && column >= 0 && row >= 0 && column < image.width() && row < image.height()) {
      out += "<circle cx=\"" + svgNumber(pixelX(column)) + "\" cy=\"" + svgNumber(pixelY(row)) +
             "\" r=\"2.5\" fill=\"" + cssColour(marker.colour) + "\" stroke=\"#000\" stroke-width=\"0.6\"><title>" +
             htmlText(marker.label) + "</title></circle>";
    }
  }
  const LinearScale across{axes.acrossMm(box, dims, -0.5), axes.acrossMm(box, dims, image.width() - 0.5),
                           kLeft, kLeft + w};
  const LinearScale down{axes.downMm(box, dims, -0.5), axes.downMm(box, dims, image.height() - 0.5), kTop,
                         kTop + h};
  out += bottomAxis(across, kTop + h, axes.across);
  out += leftAxis(down, kLeft, axes.down);
  out += "<g class=\"letters\">";
  out += "<text x=\"" + svgNumber(kLeft + 3) + "\" y=\"" + svgNumber(kTop + h / 2 + 4) + "\">" + axes.letters[0] + "</text>";
  out += "<text x=\"" + svgNumber(kLeft + w - 3) + "\" y=\"" + svgNumber(kTop + h / 2 + 4) +
         "\" text-anchor=\"end\">" + axes.letters[1] + "</text>";
  out += "<text x=\"" + svgNumber(kLeft + w / 2) + "\" y=\"" + svgNumber(kTop + 11) +
         "\" text-anchor=\"middle\">" + axes.letters[2] + "</text>";
  out += "<text x=\"" + svgNumber(kLeft + w / 2) + "\" y=\"" + svgNumber(kTop + h - 3) +
         "\" text-anchor=\"middle\">" + axes.letters[3] + "</text></g>";
  return out + "</svg>";
}

}  // namespace cohortix::host
