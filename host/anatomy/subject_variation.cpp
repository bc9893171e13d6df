#include "host/anatomy/subject_variation.h"

#include <charconv>
#include <cmath>
#include <numbers>

#include "host/anatomy/anatomy.h"
#include "host/motion/rotation.h"
#include "host/noise/counter_random.h"

namespace cohortix::host::anatomy {
namespace {

using Matrix = motion::Rotation;
using motion::product;

Matrix rotation(int axis, double degrees) {
  return motion::rotationAbout(axis, degrees * std::numbers::pi / 180.0);
}

// The inverse of [A | t]: [A^-1 | -A^-1 t].
Affine inverted(const Affine& a) {
  const double det = a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
                     a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                     a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
  Affine inverse{};
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) {
      const int r1 = (c + 1) % 3, r2 = (c + 2) % 3, c1 = (r + 1) % 3, c2 = (r + 2) % 3;
      inverse[r][c] = (a[r1][c1] * a[r2][c2] - a[r1][c2] * a[r2][c1]) / det;
    }
  for (int r = 0; r < 3; ++r)
    inverse[r][3] = -(inverse[r][0] * a[0][3] + inverse[r][1] * a[1][3] + inverse[r][2] * a[2][3]);
  return inverse;
}

// A deviate uniform in [-1, 1] from a standard normal one.
double symmetricUniform(float gaussian) { return std::erf(static_cast<double>(gaussian) / std::numbers::sqrt2); }

// The shortest text that reads back as exactly this double.
std::string jsonNumber(double value) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return std::string(text, end);
}

std::string numbers(const Point& p) {
  return "[" + jsonNumber(p[0]) + ", " + jsonNumber(p[1]) + ", " + jsonNumber(p[2]) + "]";
}

}  // namespace

SubjectAffine drawSubjectAffine(const VariationKey& key, const VariationRanges& ranges) {
  const noise::CounterRandom random({key.seed, key.replicate, key.subject});
  float deviates[9];
  random.gaussians(noise::NoiseStream::AnatomyVariation, {0, 0, 0}, 0, 9, deviates);
  SubjectAffine drawn;
  for (int i = 0; i < 3; ++i) {
    drawn.scale[i] = 1.0 + ranges.scale * symmetricUniform(deviates[i]);
    drawn.rotationDegrees[i] = ranges.rotationDegrees * symmetricUniform(deviates[3 + i]);
    drawn.translationMm[i] = ranges.translationMm * symmetricUniform(deviates[6 + i]);
  }
  Matrix scaled{};
  for (int i = 0; i < 3; ++i) scaled[i][i] = drawn.scale[i];
  const Matrix rotated = product(rotation(2, drawn.rotationDegrees[2]),
                                 product(rotation(1, drawn.rotationDegrees[1]), rotation(0, drawn.rotationDegrees[0])));
  const Matrix linear = product(rotated, scaled);
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) drawn.matrix[r][c] = linear[r][c];
    drawn.matrix[r][3] = drawn.translationMm[r];
  }
  drawn.inverse = inverted(drawn.matrix);
  return drawn;
}

Point applied(const Affine& a, const Point& p) {
  Point out{};
  for (int r = 0; r < 3; ++r) out[r] = a[r][0] * p[0] + a[r][1] * p[1] + a[r][2] * p[2] + a[r][3];
  return out;
}

std::string subjectAffineJson(const SubjectAffine& affine, const VariationRanges& ranges) {
  std::string rows;
  for (int r = 0; r < 3; ++r)
    rows += "[" + jsonNumber(affine.matrix[r][0]) + ", " + jsonNumber(affine.matrix[r][1]) + ", " +
            jsonNumber(affine.matrix[r][2]) + ", " + jsonNumber(affine.matrix[r][3]) + "], ";
  return "{\"Matrix\": [" + rows + "[0, 0, 0, 1]], "
         "\"Maps\": \"template Talairach millimetres to the subject's\", "
         "\"Scale\": " + numbers(affine.scale) + ", \"RotationDegrees\": " + numbers(affine.rotationDegrees) +
         ", \"TranslationMm\": " + numbers(affine.translationMm) + ", \"Ranges\": {\"Scale\": " +
         jsonNumber(ranges.scale) + ", \"RotationDegrees\": " + jsonNumber(ranges.rotationDegrees) +
         ", \"TranslationMm\": " + jsonNumber(ranges.translationMm) + "}}";
}

std::vector<float> movedHead(const Anatomy& anatomy, const SubjectAffine& affine) {
  const AnatomyGrid& grid = anatomy.grid;
  // The subject's grid point -> the template's, one affine of grid coordinates.
  const auto toTemplate = [&](const Point& p) {
    return gridOfTalairach(applied(affine.inverse, talairachOfGrid(p)));
  };
  const Point origin = toTemplate({0, 0, 0});
  Point step[3];
  for (int a = 0; a < 3; ++a) {
    Point unit{};
    unit[a] = 1;
    const Point moved = toTemplate(unit);
    for (int r = 0; r < 3; ++r) step[a][r] = moved[r] - origin[r];
  }
  const auto value = [&](int32_t x, int32_t y, int32_t z) -> double {
    const int64_t i = grid.index(x, y, z);
    return i < 0 ? 0.0 : anatomy.head[static_cast<std::size_t>(i)];
  };
  std::vector<float> head(grid.voxels(), 0.0f);
  std::size_t v = 0;
  for (int32_t z = 0; z < grid.dims[2]; ++z)
    for (int32_t y = 0; y < grid.dims[1]; ++y)
      for (int32_t x = 0; x < grid.dims[0]; ++x, ++v) {
        const double gx = grid.start[0] + x, gy = grid.start[1] + y, gz = grid.start[2] + z;
        Point p{};
        for (int r = 0; r < 3; ++r) p[r] = origin[r] + step[0][r] * gx + step[1][r] * gy + step[2][r] * gz;
        const double fx = std::floor(p[0]), fy = std::floor(p[1]), fz = std::floor(p[2]);
        const double ax = p[0] - fx, ay = p[1] - fy, az = p[2] - fz;
        const auto x0 = static_cast<int32_t>(fx), y0 = static_cast<int32_t>(fy), z0 = static_cast<int32_t>(fz);
        double sum = 0;
        for (int c = 0; c < 8; ++c) {
          const int dx = c & 1, dy = (c >> 1) & 1, dz = (c >> 2) & 1;
          const double w = (dx ? ax : 1 - ax) * (dy ? ay : 1 - ay) * (dz ? az : 1 - az);
          if (w > 0) sum += w * value(x0 + dx, y0 + dy, z0 + dz);
        }
        head[v] = static_cast<float>(sum);
      }
  return head;
}

}  // namespace cohortix::host::anatomy
