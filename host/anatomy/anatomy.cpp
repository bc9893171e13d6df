#include "host/anatomy/anatomy.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <optional>

#include "host/analysis/nifti_reader.h"
#include "host/anatomy/brain_extraction.h"
#include "host/anatomy/mni_talairach.h"

namespace cohortix::host::anatomy {
namespace {

namespace fs = std::filesystem;

// Millimetres to a source image's voxel coordinates: the inverse of its affine.
class SourceImage {
 public:
  explicit SourceImage(NiftiVolume image) : image_(std::move(image)) {
    const auto& a = image_.affine;
    const double det = a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
                       a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                       a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
    inverse_[0][0] = (a[1][1] * a[2][2] - a[1][2] * a[2][1]) / det;
    inverse_[0][1] = (a[0][2] * a[2][1] - a[0][1] * a[2][2]) / det;
    inverse_[0][2] = (a[0][1] * a[1][2] - a[0][2] * a[1][1]) / det;
    inverse_[1][0] = (a[1][2] * a[2][0] - a[1][0] * a[2][2]) / det;
    inverse_[1][1] = (a[0][0] * a[2][2] - a[0][2] * a[2][0]) / det;
    inverse_[1][2] = (a[0][2] * a[1][0] - a[0][0] * a[1][2]) / det;
    inverse_[2][0] = (a[1][0] * a[2][1] - a[1][1] * a[2][0]) / det;
    inverse_[2][1] = (a[0][1] * a[2][0] - a[0][0] * a[2][1]) / det;
    inverse_[2][2] = (a[0][0] * a[1][1] - a[0][1] * a[1][0]) / det;
  }

  Point voxelOf(const Point& mm) const {
    Point shifted{mm[0] - image_.affine[0][3], mm[1] - image_.affine[1][3], mm[2] - image_.affine[2][3]};
    Point v{};
    for (int r = 0; r < 3; ++r)
      v[r] = inverse_[r][0] * shifted[0] + inverse_[r][1] * shifted[1] + inverse_[r][2] * shifted[2];
    return v;
  }

  float at(int64_t i, int64_t j, int64_t k) const {
    const VTCDims& d = image_.dims;
    if (i < 0 || j < 0 || k < 0 || i >= d.DimX || j >= d.DimY || k >= d.DimZ) return 0.0f;
    return image_.data[static_cast<std::size_t>((k * d.DimY + j) * d.DimX + i)];
  }

  float nearest(const Point& mm) const {
    const Point v = voxelOf(mm);
    return at(std::llround(v[0]), std::llround(v[1]), std::llround(v[2]));
  }

  float trilinear(const Point& mm) const {
    const Point v = voxelOf(mm);
    const double fx = std::floor(v[0]), fy = std::floor(v[1]), fz = std::floor(v[2]);
    const auto i = static_cast<int64_t>(fx), j = static_cast<int64_t>(fy), k = static_cast<int64_t>(fz);
    const double dx = v[0] - fx, dy = v[1] - fy, dz = v[2] - fz;
    double sum = 0.0;
    for (int c = 0; c < 8; ++c) {
      const int ox = c & 1, oy = (c >> 1) & 1, oz = (c >> 2) & 1;
      const double w = (ox ? dx : 1 - dx) * (oy ? dy : 1 - dy) * (oz ? dz : 1 - dz);
      if (w > 0.0) sum += w * at(i + ox, j + oy, k + oz);
    }
    return static_cast<float>(sum);
  }

  const NiftiVolume& image() const { return image_; }

 private:
  NiftiVolume image_;
  double inverse_[3][3]{};
};

Result<SourceImage> load(const fs::path& file) {
  Result<NiftiVolume> image = readNifti(file);
  if (!image) return image.status().context("cannot read the anatomy " + file.string());
  if (image->volumes != 1) return Status::error("the anatomy " + file.string() + " is not a 3-D image");
  return SourceImage(std::move(image).value());
}

// A user's own image as its brain: the image itself when it is the brain alone,
// otherwise (a whole head) the brain extracted from it (brain_extraction.h).
Result<SourceImage> ownBrain(const fs::path& file) {
  Result<SourceImage> image = load(file);
  if (!image) return image.status();
  const std::vector<uint8_t> derived = derivedBrainMask(image->image());
  if (isBrainAlone(image->image(), derived)) return image;
  NiftiVolume brain = image->image();
  for (std::size_t v = 0; v < brain.data.size() && v < derived.size(); ++v)
    if (derived[v] == 0) brain.data[v] = 0.0f;
  return SourceImage(std::move(brain));
}

// A user's own image as its brain where the user's mask covers it.
Result<SourceImage> maskedBrain(const fs::path& file, const fs::path& maskFile) {
  Result<SourceImage> image = load(file);
  if (!image) return image.status();
  Result<SourceImage> mask = load(maskFile);
  if (!mask) return mask.status();
  if (!sameGrid(image->image(), mask->image()))
    return Status::error("the brain mask " + maskFile.string() + " is not on the grid of the anatomy " +
                         file.string() + " (its dimensions or affine differ)");
  NiftiVolume brain = image->image();
  for (std::size_t v = 0; v < brain.data.size(); ++v)
    if (!(mask->image().data[v] != 0.0f)) brain.data[v] = 0.0f;
  return SourceImage(std::move(brain));
}

// The source's millimetres (MNI or Talairach) of a grid coordinate.
Point sourceOf(const Point& grid, bool talairach) {
  const Point tal = talairachOfGrid(grid);
  return talairach ? tal : mniFromTalairach(tal);
}

// The grid box the brain image covers: its eight corners carried onto the grid.
AnatomyGrid coveredGrid(const SourceImage& brain, bool talairach) {
  const VTCDims& d = brain.image().dims;
  const auto& a = brain.image().affine;
  std::array<double, 3> low{1e9, 1e9, 1e9}, high{-1e9, -1e9, -1e9};
  for (int c = 0; c < 8; ++c) {
    const double v[3] = {(c & 1) ? d.DimX - 1.0 : 0.0, (c & 2) ? d.DimY - 1.0 : 0.0, (c & 4) ? d.DimZ - 1.0 : 0.0};
    Point mm{};
    for (int r = 0; r < 3; ++r) mm[r] = a[r][0] * v[0] + a[r][1] * v[1] + a[r][2] * v[2] + a[r][3];
    const Point grid = gridOfTalairach(talairach ? mm : talairachFromMni(mm));
    for (int r = 0; r < 3; ++r) low[r] = std::min(low[r], grid[r]), high[r] = std::max(high[r], grid[r]);
  }
  AnatomyGrid g;
  for (int r = 0; r < 3; ++r) {
    g.start[r] = std::clamp(static_cast<int32_t>(std::floor(low[r])), 0, 255);
    const int32_t end = std::clamp(static_cast<int32_t>(std::ceil(high[r])) + 1, g.start[r], 256);
    g.dims[r] = end - g.start[r];
  }
  return g;
}

uint8_t byte(float value) { return static_cast<uint8_t>(std::clamp(std::lround(value), 0L, 255L)); }

struct Sources {
  SourceImage head, brain;
  std::optional<SourceImage> aal, brodmann, harvardOxford;
};

Result<std::optional<SourceImage>> loadOptional(const fs::path& file) {
  if (file.empty()) return std::optional<SourceImage>();
  Result<SourceImage> image = load(file);
  if (!image) return image.status();
  return std::optional<SourceImage>(std::move(image).value());
}

// The head's intensities scaled to 0..255 by its largest value.
float headScale(const SourceImage& head) {
  float top = 0.0f;
  for (float v : head.image().data) top = std::max(top, v);
  return top > 0.0f ? 255.0f / top : 1.0f;
}

void resample(const Sources& s, bool talairach, Anatomy& anatomy) {
  const AnatomyGrid& g = anatomy.grid;
  const std::size_t n = g.voxels();
  anatomy.head.assign(n, 0);
  anatomy.brain.assign(n, 0);
  for (auto& t : anatomy.tissue) t.assign(n, 0);
  if (s.aal) anatomy.aal.assign(n, 0);
  if (s.brodmann) anatomy.brodmann.assign(n, 0);
  if (s.harvardOxford) anatomy.harvardOxford.assign(n, 0);
  const float scale = headScale(s.head);
  std::size_t i = 0;
  for (int32_t z = 0; z < g.dims[2]; ++z)
    for (int32_t y = 0; y < g.dims[1]; ++y)
      for (int32_t x = 0; x < g.dims[0]; ++x, ++i) {
        const Point grid{double(g.start[0] + x), double(g.start[1] + y), double(g.start[2] + z)};
        const Point mm = sourceOf(grid, talairach);
        anatomy.head[i] = byte(scale * s.head.trilinear(mm));
        const bool inside = s.brain.nearest(mm) > 0.0f;
        anatomy.brain[i] = inside ? 1 : 0;
        if (inside) {
          const std::array<float, 3> p = anatomy.classes.at(s.brain.trilinear(mm));
          for (int c = 0; c < 3; ++c) anatomy.tissue[c][i] = byte(255.0f * p[c]);
        }
        if (s.aal) anatomy.aal[i] = byte(s.aal->nearest(mm));
        if (s.brodmann) anatomy.brodmann[i] = byte(s.brodmann->nearest(mm));
        if (s.harvardOxford) anatomy.harvardOxford[i] = byte(s.harvardOxford->nearest(mm));
      }
}

}  // namespace

int64_t AnatomyGrid::index(int32_t x, int32_t y, int32_t z) const {
  x -= start[0], y -= start[1], z -= start[2];
  if (x < 0 || y < 0 || z < 0 || x >= dims[0] || y >= dims[1] || z >= dims[2]) return -1;
  return (int64_t{z} * dims[1] + y) * dims[0] + x;
}

VTCBox AnatomyGrid::box() const {
  VTCBox b;
  b.XStart = start[0], b.XEnd = start[0] + dims[0];
  b.YStart = start[1], b.YEnd = start[1] + dims[1];
  b.ZStart = start[2], b.ZEnd = start[2] + dims[2];
  b.Resolution = 1;
  return b;
}

AnatomySources templateSources() {
  const fs::path folder = kTemplateFolder;
  return {folder / "ch2.nii.gz", folder / "ch2bet.nii.gz", folder / "aal.nii.gz",
          folder / "brodmann.nii.gz", folder / "HarvardOxford-cort-maxprob-thr0-1mm.nii.gz", false, {}};
}

AnatomySources ownSources(const fs::path& brain, bool talairach, const fs::path& mask) {
  return {brain, brain, {}, {}, {}, talairach, mask};
}

Status checkSources(const AnatomySources& sources) {
  for (const fs::path& file :
       {sources.head, sources.brain, sources.aal, sources.brodmann, sources.harvardOxford, sources.mask}) {
    if (file.empty()) continue;
    std::error_code error;
    if (fs::is_regular_file(file, error) && std::ifstream(file).good()) continue;
    if (file.parent_path() == kTemplateFolder)
      return Status::error(std::string("the anatomy needs the templates of Debian's ") + kTemplatePackage +
                           " (" + file.string() + " is missing): install them with apt-get install " +
                           kTemplatePackage);
    return Status::error("cannot read the anatomy " + file.string() + ": not a readable file");
  }
  return Status::ok();
}

Result<Anatomy> buildAnatomy(const AnatomySources& sources) {
  const auto started = std::chrono::steady_clock::now();
  if (Status ok = checkSources(sources); !ok) return ok;
  Result<SourceImage> head = load(sources.head);
  if (!head) return head.status();
  Result<SourceImage> brain = !sources.mask.empty()            ? maskedBrain(sources.brain, sources.mask)
                              : sources.head == sources.brain ? ownBrain(sources.brain)
                                                              : load(sources.brain);
  if (!brain) return brain.status();
  Result<std::optional<SourceImage>> aal = loadOptional(sources.aal);
  if (!aal) return aal.status();
  Result<std::optional<SourceImage>> brodmann = loadOptional(sources.brodmann);
  if (!brodmann) return brodmann.status();
  Result<std::optional<SourceImage>> harvardOxford = loadOptional(sources.harvardOxford);
  if (!harvardOxford) return harvardOxford.status();
  Anatomy anatomy;
  std::vector<float> inside;
  for (float v : brain->image().data)
    if (v > 0.0f) inside.push_back(v);
  if (inside.empty()) return Status::error("the anatomy " + sources.brain.string() + " holds no brain (no value above 0)");
  anatomy.classes = fitTissueClasses(inside);
  anatomy.grid = coveredGrid(brain.value(), sources.talairach);
  const Sources s{std::move(head).value(), std::move(brain).value(), std::move(aal).value(),
                  std::move(brodmann).value(), std::move(harvardOxford).value()};
  resample(s, sources.talairach, anatomy);
  anatomy.secondsToBuild =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  return anatomy;
}

}  // namespace cohortix::host::anatomy
