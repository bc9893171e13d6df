#pragma once
// One subject's volume time courses as a function of explicit inputs: the design,
// the subject, its predictors, the VTC to write and a random state. The plug-in
// runs it on the process-wide random state with its host's predictors; any other
// caller that hands in the same inputs and a copy of that state gets the same
// values bit for bit and leaves its copy as the plug-in leaves the process state.

#include <cstddef>
#include <cstdint>

#include "control/simulation_design.h"
#include "control/vtc_geometry.h"
#include "simulation/random/random_state.h"

namespace cohortix {

// The time courses of the subject's design matrix. The model asks, for every
// region in order, for predictors 0, 1, ... NrOfPredictors - 1 (at most
// kMaxWithinCells) in turn, each just before it takes that predictor's effect.
class PredictorSource {
 public:
  virtual ~PredictorSource() = default;
  // Predictor p's time course, one float per volume, valid until the model
  // returns; null when there is none, which ends the subject.
  virtual const float* predictorTimeCourse(int32_t p) = 0;
};

// The signal levels of one subject.
struct SubjectLevels {
  float Baseline = 0.0f;    // B: MeanBaseline plus its draw, at least 150
  float OnePercent = 0.0f;  // A = B / 100: the unit of effects and noise
  float NoiseSD = 0.0f;     // A * NoiseSDPercent
};

// Where one region lies for this subject.
struct RegionPlacement {
  int32_t TalX = 0, TalY = 0, TalZ = 0;  // the centre the design asks for (Talairach)
  VoxelIndex Centre;                     // the VTC voxel after the subject's jitter
  float Radius = 0.0f;                   // in VTC voxels, as the design gives it
};

// Told what a subject receives, in the order the model makes it:
//   subjectLevels once;
//   wholeVolumeBaseline for every voxel of the box, in voxel order;
//   then for every region r in order: cellEffect for every predictor p in order,
//   regionPlaced, and regionVoxel for every voxel the region writes, in the cube's
//   order (z outermost, x innermost).
// A voxel is numbered (z * DimY + y) * DimX + x; its values start at element
// voxel * NrOfVolumes. A voxel of the region's sphere that is never reported lies
// outside the box (clipped); one reported again by a later region is overwritten;
// a voxel's values are those of the last report, or of the whole-volume pass when
// no region reported it. Every method does nothing unless overridden.
class SubjectObserver {
 public:
  virtual ~SubjectObserver() = default;
  virtual void subjectLevels(const SubjectLevels& /*levels*/) {}
  // F = B + BaselineSDAcrossVoxels * draw, the baseline of every value of the voxel.
  virtual void wholeVolumeBaseline(std::size_t /*voxel*/, float /*F*/) {}
  // The effect of cell p in region r: the effect table's value and, with effects
  // per group, that value plus SubjectEffectSD times the subject's draw.
  virtual void cellEffect(int32_t /*r*/, int32_t /*p*/, float /*tableValue*/,
                          float /*received*/) {}
  virtual void regionPlaced(int32_t /*r*/, const RegionPlacement& /*placement*/) {}
  // A voxel region r rewrites, with its fresh baseline F.
  virtual void regionVoxel(int32_t /*r*/, std::size_t /*voxel*/, float /*F*/) {}
};

// Rewrites every value of the VTC for subject s of group g (both 0-based).
// data holds Dims voxels of geometry.NrOfVolumes floats each; response is scratch
// of geometry.NrOfVolumes floats. Every draw comes from state and RandomSeed, which
// are left as the draws leave them. False when the source has no time course for
// a predictor; the data are then partly rewritten. observer may be null.
bool modelSubjectVTC(const SimulationDesign& design, int32_t g, int32_t s,
                     int32_t NrOfPredictors, PredictorSource& predictors,
                     const VTCGeometry& geometry, float* data, float* response,
                     RandomState& state, int32_t& RandomSeed,
                     SubjectObserver* observer = nullptr);

}  // namespace cohortix
