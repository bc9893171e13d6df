#pragma once
// The anatomy on a study's VTC grid, and what it makes of a subject: one
// composition of the subject's parts as the plug-in reported them.
//
// Each VTC voxel takes the mean of the anatomy's 1 mm voxels it covers (its
// Resolution^3 block, centred on the voxel as the VTC's Talairach affine places
// it): its brain fraction and its grey, white and CSF fractions. Its EPI level is
// the tissue mixture's, with gradient-echo EPI contrast (kEpiContrast), outside
// the brain the background's, scaled so that the brain's voxels average 1.
//
// A subject is recomposed from its components (host/session/subject_components.h):
//   baseline   level(v) x F(v): the brain's mean stays the subject's B, the
//              plug-in's voxel-to-voxel spread stays as texture, the background
//              is dark;
//   signal     weight(v) x A x response_r(t) in region r's voxels, weight the
//              voxel's grey-matter fraction (SignalIn::Grey) or 1 (SignalIn::All);
//   noise      the plug-in's own, data - F - A x response_r, as it drew it.
// With head motion (--motion), each volume's noise-free image, baseline plus
// signal, is moved by the subject's pose at that volume (host/motion) before the
// noise goes on, as in a scanner; the truth keeps the anatomy's frame. With a
// slice order (--slice-order), a region's signal in each slice is its response at
// that slice's own acquisition time: the protocol's boxcars convolved with the
// haemodynamic response sampled at those times (host/motion/slice_timing.h).

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "control/vtc_geometry.h"
#include "host/anatomy/anatomy.h"
#include "host/anatomy/subject_variation.h"
#include "host/documents/design_matrix.h"
#include "host/documents/protocol_document.h"
#include "host/motion/head_motion.h"
#include "host/session/subject_components.h"

namespace cohortix::host::anatomy {

// Relative signal of each tissue in T2*-weighted gradient-echo EPI (grey 1):
// white matter darker, CSF brightest; the background outside the head dark.
struct EpiContrast {
  double csf = 1.3;
  double grey = 1.0;
  double white = 0.8;
  double background = 0.02;
};
inline constexpr EpiContrast kEpiContrast{};

enum class SignalIn { Grey, All };

struct VTCAnatomy {
  VTCBox box;
  VTCDims dims;
  std::vector<float> level;                 // relative baseline, the brain's mean 1
  std::array<std::vector<float>, 3> tissue;  // CSF, grey, white fractions
  std::vector<float> brainFraction;
  std::vector<int16_t> brainMask;           // 1 where half the voxel or more is brain

  std::size_t voxels() const { return level.size(); }
};

// With `own`, the subject's own anatomy: the template moved by its affine.
VTCAnatomy anatomyOnVTC(const Anatomy& anatomy, const VTCBox& box,
                        const EpiContrast& contrast = kEpiContrast, const SubjectAffine* own = nullptr);

// Each subject on an anatomy of its own (--anatomy-variation): the template moved
// by the affine drawn for it (subject_variation.h).
struct AnatomyVariation {
  const Anatomy* anatomy = nullptr;
  VariationKey key;  // its subject set per subject
  VariationRanges ranges = kVariationRanges;

  SubjectAffine affineOf(int32_t subjectNumber) const;
};

// Each subject's head moving through the run: its trajectory drawn for it from
// (seed, replicate, subject) with the profile.
struct AnatomyMotion {
  motion::MotionProfile profile;
  uint64_t seed = 0;
  uint32_t replicate = 0;
  double repetitionTime = 2.0;
  int threads = 1;  // volumes moved side by side; the same data whatever the number

  std::vector<motion::Pose> posesOf(int32_t subjectNumber, std::size_t volumes) const;
};

// Each slice acquired at its own time within the volume.
struct AnatomySlices {
  std::string order;          // its name: ascending, descending, interleaved
  std::vector<double> times;  // seconds after the volume's start, per VTC z index
  double repetitionTime = 2.0;
  int32_t multiband = 1;      // slices acquired at once
};

class Composition {
 public:
  // `keepNoise`: the plug-in's noise stays in the data (false: the host's noise
  // will take its place, and the data are composed without it). With a
  // variation, every subject is composed on its own anatomy; `anatomy` is then
  // the template's, for the run's truth.
  Composition(const VTCAnatomy& anatomy, SignalIn signalIn, bool keepNoise = true,
              std::optional<AnatomyVariation> variation = std::nullopt,
              std::optional<AnatomyMotion> motion = std::nullopt,
              std::optional<AnatomySlices> slices = std::nullopt)
      : anatomy_(anatomy),
        signalIn_(signalIn),
        keepNoise_(keepNoise),
        variation_(std::move(variation)),
        motion_(std::move(motion)),
        slices_(std::move(slices)) {}

  const VTCAnatomy& anatomy() const { return anatomy_; }
  const std::optional<AnatomyVariation>& variation() const { return variation_; }
  const std::optional<AnatomyMotion>& motion() const { return motion_; }
  const std::optional<AnatomySlices>& slices() const { return slices_; }

  // The subject's data (its VTC's layout) recomposed in place. The components
  // must be of this grid; with slices, `protocol` is the subject's (its design
  // matrix must be its conditions convolved with the haemodynamic response).
  void composeData(const SubjectComponents& subject, const DesignMatrix& matrix,
                   std::span<float> data, std::size_t volumes, const ProtocolDocument* protocol = nullptr) const;
  // The truth of what composeData adds: the baseline as composed and each voxel's
  // signal weight.
  void composeTruth(SubjectComponents& subject) const;
  // The baseline composeData gives each voxel.
  std::vector<float> composedBaseline(const SubjectComponents& subject) const;

 private:
  // The anatomy the subject is composed on: the run's, or its own.
  struct SubjectAnatomy {
    std::optional<VTCAnatomy> own;
    const VTCAnatomy* on = nullptr;
  };
  SubjectAnatomy anatomyOf(const SubjectComponents& subject) const;
  // Per slice, per region, the response at the slice's times.
  using SliceResponses = std::vector<std::vector<std::vector<float>>>;
  SliceResponses sliceResponses(const SubjectComponents& subject, const DesignMatrix& matrix,
                                const ProtocolDocument& protocol, std::size_t volumes) const;
  // composeData with the head moving or the slices timed: the noise-free
  // volumes (each slice's signal at its time) gathered, moved, and put back over
  // the noise.
  void composeParts(const SubjectComponents& subject, const VTCAnatomy& on,
                    const std::vector<std::vector<float>>& responses, const SliceResponses* slices,
                    std::span<float> data, std::size_t volumes) const;
  float signalWeight(const VTCAnatomy& on, std::size_t voxel) const {
    return signalIn_ == SignalIn::All ? 1.0f : on.tissue[kGrey][voxel];
  }

  const VTCAnatomy& anatomy_;
  SignalIn signalIn_;
  bool keepNoise_;
  std::optional<AnatomyVariation> variation_;
  std::optional<AnatomyMotion> motion_;
  std::optional<AnatomySlices> slices_;
};

}  // namespace cohortix::host::anatomy
