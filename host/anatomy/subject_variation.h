#pragma once
// A subject's own anatomy: the template moved by a small affine of its own, drawn
// from the host's counter-based stream (host/noise/counter_random.h) keyed by
// (seed, replicate, subject), so a subject's anatomy is the same whatever the
// threads or the order of subjects.
//
// The affine maps template Talairach millimetres to the subject's:
//   p_subject = T R S p_template,
// S scales each axis about the anterior commissure (Talairach 0), R rotates about
// x (pitch), then y (roll), then z (yaw), R = Rz Ry Rx, and T translates. Each of
// the nine parameters is uniform within its range (a standard normal deviate d
// taken through the normal distribution function: u = Phi(d), value = range x
// (2u - 1)). The default ranges and their sources are in the README.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "host/anatomy/mni_talairach.h"

namespace cohortix::host::anatomy {

struct Anatomy;

struct VariationRanges {
  double scale = 0.06;           // each axis's factor within 1 +- scale
  double rotationDegrees = 4.0;  // about each axis, +-
  double translationMm = 4.0;    // along each axis, +-
};
inline constexpr VariationRanges kVariationRanges{};

struct VariationKey {
  uint64_t seed = 0;
  uint32_t replicate = 0;
  uint32_t subject = 0;
};

using Affine = std::array<std::array<double, 4>, 3>;  // rows of [A | t]

struct SubjectAffine {
  Point scale{1, 1, 1};
  Point rotationDegrees{};  // about Talairach x, y, z
  Point translationMm{};
  Affine matrix{};          // template Talairach mm -> the subject's
  Affine inverse{};         // the subject's -> the template's
};

SubjectAffine drawSubjectAffine(const VariationKey& key, const VariationRanges& ranges = kVariationRanges);

Point applied(const Affine& affine, const Point& p);

// The affine as JSON: its matrix (4 x 4, rows), its parameters and the ranges
// they were drawn from.
std::string subjectAffineJson(const SubjectAffine& affine, const VariationRanges& ranges = kVariationRanges);

// The template's head (T1w) moved by the subject's affine, on the template's
// grid, trilinear; 0 where the moved point falls outside the template.
std::vector<float> movedHead(const Anatomy& anatomy, const SubjectAffine& affine);

}  // namespace cohortix::host::anatomy
