#include "host/report/anatomy_background.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <system_error>

#include "host/analysis/nifti_reader.h"

namespace cohortix::host {
namespace {

namespace fs = std::filesystem;

constexpr double kTopPercentile = 0.99;

// The image at `stem` + ".nii.gz" or ".nii"; empty when neither is there.
fs::path niftiAt(const fs::path& stem) {
  std::error_code error;
  for (const char* ending : {".nii.gz", ".nii"}) {
    const fs::path file = stem.string() + ending;
    if (fs::is_regular_file(file, error)) return file;
  }
  return {};
}

// Whether a file of the folder ends with `ending`.
bool holdsFileEnding(const fs::path& folder, const std::string& ending) {
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (name.size() >= ending.size() && name.compare(name.size() - ending.size(), ending.size(), ending) == 0)
      return true;
  }
  return false;
}

// The subject's T1w, else its truth's baseline when the truth has a brain mask.
fs::path anatomyFile(const StudyRun& run, const SubjectFiles& subject) {
  if (run.layout == RunLayout::Native) {
    const fs::path stem = subject.data.parent_path() / subject.data.stem();
    if (fs::path t1 = niftiAt(stem.string() + "_T1w"); !t1.empty()) return t1;
    const fs::path folder = subject.data.parent_path();
    if (!holdsFileEnding(folder, "_truth_brain_mask.nii") && !holdsFileEnding(folder, "_truth_brain_mask.nii.gz"))
      return {};
    return niftiAt(stem.string() + "_truth_baseline");
  }
  const fs::path subjectFolder = subject.data.parent_path().parent_path();
  if (fs::path t1 = niftiAt(subjectFolder / "anat" / (subject.name + "_T1w")); !t1.empty()) return t1;
  const fs::path truthFolder = run.root / "derivatives" / "cohortix";
  if (!holdsFileEnding(truthFolder, "_desc-brain_mask.nii") &&
      !holdsFileEnding(truthFolder, "_desc-brain_mask.nii.gz"))
    return {};
  std::string bold = subject.data.filename().string();
  bold = bold.substr(0, bold.find("_bold"));
  return niftiAt(truthFolder / subject.name / "func" / (bold + "_space-Talairach_desc-baseline_truth"));
}

using Affine = TalairachAffine;

// The inverse of a 3 x 4 affine; false when it is singular.
bool inverted(const Affine& a, Affine& inverse) {
  const double det = a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
                     a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                     a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
  if (!(std::fabs(det) > 1e-12)) return false;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) {
      const int r1 = (c + 1) % 3, r2 = (c + 2) % 3, c1 = (r + 1) % 3, c2 = (r + 2) % 3;
      inverse[r][c] = (a[r1][c1] * a[r2][c2] - a[r1][c2] * a[r2][c1]) / det;
    }
  for (int r = 0; r < 3; ++r)
    inverse[r][3] = -(inverse[r][0] * a[0][3] + inverse[r][1] * a[1][3] + inverse[r][2] * a[2][3]);
  return true;
}

std::array<double, 3> applied(const Affine& a, const std::array<double, 3>& p) {
  std::array<double, 3> out{};
  for (int r = 0; r < 3; ++r) out[r] = a[r][0] * p[0] + a[r][1] * p[1] + a[r][2] * p[2] + a[r][3];
  return out;
}

// The image on the box's grid: each voxel the mean of the image's values nearest
// to the Resolution^3 points of its block (points outside the image count as 0).
std::vector<float> resampled(const NiftiVolume& image, const VTCBox& box, const Affine& toImage) {
  const VTCDims dims = vtcDims(box);
  const int32_t n = std::max(box.Resolution, 1);
  const Affine grid = talairachAffine(box);
  std::vector<float> out(voxelsInBox(dims), 0.0f);
  std::size_t v = 0;
  for (int32_t k = 0; k < dims.DimZ; ++k)
    for (int32_t j = 0; j < dims.DimY; ++j)
      for (int32_t i = 0; i < dims.DimX; ++i, ++v) {
        double sum = 0;
        for (int32_t c = 0; c < n; ++c)
          for (int32_t b = 0; b < n; ++b)
            for (int32_t a = 0; a < n; ++a) {
              const auto at = [n](int32_t index, int32_t step) { return index + (step + 0.5) / n - 0.5; };
              const auto p = applied(toImage, applied(grid, {at(i, a), at(j, b), at(k, c)}));
              const auto x = static_cast<int64_t>(std::lround(p[0]));
              const auto y = static_cast<int64_t>(std::lround(p[1]));
              const auto z = static_cast<int64_t>(std::lround(p[2]));
              if (x < 0 || y < 0 || z < 0 || x >= image.dims.DimX || y >= image.dims.DimY || z >= image.dims.DimZ)
                continue;
              const float value = image.data[static_cast<std::size_t>((z * image.dims.DimY + y) * image.dims.DimX + x)];
              if (std::isfinite(value)) sum += value;
            }
        out[v] = static_cast<float>(sum / (static_cast<double>(n) * n * n));
      }
  return out;
}

void scaleToUnit(std::vector<float>& values) {
  std::vector<float> positive;
  for (const float value : values)
    if (value > 0) positive.push_back(value);
  if (positive.empty()) return;
  const auto at = positive.begin() + static_cast<std::ptrdiff_t>((positive.size() - 1) * kTopPercentile);
  std::nth_element(positive.begin(), at, positive.end());
  const double top = *at;
  for (float& value : values) value = static_cast<float>(std::clamp(value / top, 0.0, 1.0));
}

}  // namespace

Result<AnatomyBackground> subjectAnatomy(const StudyRun& run, const SubjectFiles& subject, const VTCBox& box) {
  const fs::path file = anatomyFile(run, subject);
  if (file.empty()) return AnatomyBackground{};
  Result<NiftiVolume> image = readNifti(file);
  if (!image) return image.status().context("cannot read the anatomy " + file.string());
  Affine toImage{};
  if (!inverted(image->affine, toImage))
    return Status::error(file.string() + ": its affine is singular, so it cannot be placed under the slices");
  std::vector<float> grid = resampled(image.value(), box, toImage);
  scaleToUnit(grid);
  return grid;
}

Rgb overAnatomy(const AnatomyBackground& anatomy, std::size_t voxel, Rgb overlay, double opacity) {
  if (anatomy.empty() || voxel >= anatomy.size()) return overlay;
  const double grey = 255.0 * anatomy[voxel];
  const auto mix = [&](uint8_t channel) {
    return static_cast<uint8_t>(std::lround(grey + (channel - grey) * std::clamp(opacity, 0.0, 1.0)));
  };
  return {mix(overlay.red), mix(overlay.green), mix(overlay.blue)};
}

Rgb anatomyGrey(const AnatomyBackground& anatomy, std::size_t voxel, Rgb fallback) {
  return anatomy.empty() || voxel >= anatomy.size() ? fallback : overAnatomy(anatomy, voxel, fallback, 0.0);
}

}  // namespace cohortix::host
