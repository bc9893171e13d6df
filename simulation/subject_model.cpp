// The order of the Gaussian draws fixes the data a random state produces: the
// subject's baseline; every voxel of the box (z outermost, x innermost) with its
// baseline and then its noise, volume by volume; then every region with its
// effect draws, its three centre draws and its cube of voxels.

#include "simulation/subject_model.h"

#include <algorithm>

#include "control/cell_index.h"
#include "control/round_half_up.h"
#include "simulation/random/gaussian_block.h"
#include "simulation/random/random_sources.h"

namespace cohortix {
namespace {

// A subject's baseline never falls below this signal level.
constexpr float kLowestSubjectBaseline = 150.0f;

// The random state and seed every draw of one subject comes from.
struct Draws {
  RandomState& State;
  int32_t& RandomSeed;

  float gaussian() { return gaussianDeviate(State, RandomSeed); }
  void gaussians(float* out, std::size_t n) { gaussianDeviates(State, out, n, RandomSeed); }
  // The draws a voxel outside the box would have taken, so clipping a region
  // leaves the stream as it would be without the clip.
  void skip(std::size_t n) {
    for (std::size_t t = 0; t < n; ++t) gaussian();
  }
};

// What every step of one subject shares.
struct Subject {
  const SimulationDesign& Design;
  int32_t g, s;
  const VTCGeometry& Geometry;
  float* Data;
  std::size_t n;  // volumes of every voxel's time course
  Draws& Draw;
  SubjectObserver* Observer;
  SubjectLevels Levels;
};

SubjectLevels drawSubjectLevels(const SimulationDesign& design, Draws& draw) {
  SubjectLevels levels;
  levels.Baseline =
      static_cast<float>(design.MeanBaseline) + design.BaselineSDAcrossSubjects * draw.gaussian();
  if (levels.Baseline < kLowestSubjectBaseline) levels.Baseline = kLowestSubjectBaseline;
  levels.OnePercent = levels.Baseline / 100.0f;
  levels.NoiseSD = levels.OnePercent * design.NoiseSDPercent;
  return levels;
}

float drawVoxelBaseline(Subject& subject) {
  return subject.Levels.Baseline +
         subject.Design.BaselineSDAcrossVoxels * subject.Draw.gaussian();
}

// Voxel-major, time fastest: the voxels follow one another in loop order. The
// noise deviates of a voxel go straight into its time course and become its values
// in place.
void simulateWholeVolume(Subject& subject) {
  const std::size_t n = subject.n;
  const float noiseSD = subject.Levels.NoiseSD;
  const std::size_t voxels = voxelsInBox(subject.Geometry.Dims);
  float* slot = subject.Data;
  for (std::size_t voxel = 0; voxel < voxels; ++voxel, slot += n) {
    const float baseline = drawVoxelBaseline(subject);
    if (subject.Observer != nullptr) subject.Observer->wholeVolumeBaseline(voxel, baseline);
    subject.Draw.gaussians(slot, n);
    for (std::size_t t = 0; t < n; ++t) slot[t] = baseline + noiseSD * slot[t];
  }
}

// The subject's effect of cell p in region r; drawn around the group's value when
// the table holds one row per group.
float effectOf(Subject& subject, int32_t r, int32_t p) {
  const SimulationDesign& design = subject.Design;
  const float table = design.EffectTable[r][effectRow(design, subject.g, subject.s)][p];
  const float received =
      design.EffectsPerGroup ? table + design.SubjectEffectSD * subject.Draw.gaussian() : table;
  if (subject.Observer != nullptr) subject.Observer->cellEffect(r, p, table, received);
  return received;
}

// The effect-weighted sum of the subject's predictors into response. A cell beyond
// the effect table's capacity has no effect column, so no predictor past it counts.
bool sumPredictedResponse(Subject& subject, int32_t r, int32_t NrOfPredictors,
                          PredictorSource& predictors, float* response) {
  const std::size_t n = subject.n;
  std::fill(response, response + n, 0.0f);
  const int32_t count = std::min(NrOfPredictors, kMaxWithinCells);
  for (int32_t p = 0; p < count; ++p) {
    const float* course = predictors.predictorTimeCourse(p);
    if (course == nullptr) return false;
    const float effect = effectOf(subject, r, p);
    for (std::size_t t = 0; t < n; ++t) response[t] = response[t] + effect * course[t];
  }
  return true;
}

int32_t drawShift(float centerSD, Draws& draw) {
  return roundHalfUp(static_cast<double>(centerSD * draw.gaussian()));
}

VoxelIndex drawCentre(Subject& subject, const EffectRegion& region) {
  VoxelIndex centre = regionCentreVoxel(region, subject.Geometry.Box);
  centre.X += drawShift(region.CenterSD, subject.Draw);
  centre.Y += drawShift(region.CenterSD, subject.Draw);
  centre.Z += drawShift(region.CenterSD, subject.Draw);
  return centre;
}

float distance(const VoxelIndex& a, const VoxelIndex& b) {
  const int32_t dx = a.X - b.X, dy = a.Y - b.Y, dz = a.Z - b.Z;
  return sqrtFloat(static_cast<float>(dx * dx + dy * dy + dz * dz));
}

void simulateSphereVoxel(Subject& subject, int32_t r, float baseline, const float* response,
                         const VoxelIndex& v) {
  const VTCDims& dims = subject.Geometry.Dims;
  const std::size_t n = subject.n;
  if (!insideBox(dims, v)) return subject.Draw.skip(n);
  const std::size_t voxel = voxelNumber(dims, v);
  if (subject.Observer != nullptr) subject.Observer->regionVoxel(r, voxel, baseline);
  float* slot = subject.Data + voxel * n;
  subject.Draw.gaussians(slot, n);
  const SubjectLevels& levels = subject.Levels;
  for (std::size_t t = 0; t < n; ++t)
    slot[t] = (baseline + levels.OnePercent * response[t]) + levels.NoiseSD * slot[t];
}

// Every voxel of the cube around the centre takes its baseline draw; those within
// Radius of the centre are replaced by baseline, response and fresh noise.
void simulateSphere(Subject& subject, int32_t r, const VoxelIndex& centre,
                    const float* response) {
  const float radius = subject.Design.Regions[r].Radius;
  const int32_t J = roundHalfUp(static_cast<double>(radius));
  VoxelIndex v;
  for (v.Z = centre.Z - J; v.Z <= centre.Z + J; ++v.Z)
    for (v.Y = centre.Y - J; v.Y <= centre.Y + J; ++v.Y)
      for (v.X = centre.X - J; v.X <= centre.X + J; ++v.X) {
        const float baseline = drawVoxelBaseline(subject);
        if (distance(v, centre) > radius) continue;
        simulateSphereVoxel(subject, r, baseline, response, v);
      }
}

void reportPlacement(Subject& subject, int32_t r, const VoxelIndex& centre) {
  if (subject.Observer == nullptr) return;
  const EffectRegion& region = subject.Design.Regions[r];
  RegionPlacement placement;
  placement.TalX = region.TalX;
  placement.TalY = region.TalY;
  placement.TalZ = region.TalZ;
  placement.Centre = centre;
  placement.Radius = region.Radius;
  subject.Observer->regionPlaced(r, placement);
}

}  // namespace

bool modelSubjectVTC(const SimulationDesign& design, int32_t g, int32_t s,
                     int32_t NrOfPredictors, PredictorSource& predictors,
                     const VTCGeometry& geometry, float* data, float* response,
                     RandomState& state, int32_t& RandomSeed, SubjectObserver* observer) {
  Draws draw{state, RandomSeed};
  const std::size_t n =
      geometry.NrOfVolumes > 0 ? static_cast<std::size_t>(geometry.NrOfVolumes) : 0;
  Subject subject{design, g, s, geometry, data, n, draw, observer, {}};
  subject.Levels = drawSubjectLevels(design, draw);
  if (observer != nullptr) observer->subjectLevels(subject.Levels);
  simulateWholeVolume(subject);
  for (int32_t r = 0; r < design.NrOfRegions && r < kMaxRegions; ++r) {
    if (!sumPredictedResponse(subject, r, NrOfPredictors, predictors, response)) return false;
    const VoxelIndex centre = drawCentre(subject, design.Regions[r]);
    reportPlacement(subject, r, centre);
    simulateSphere(subject, r, centre, response);
  }
  return true;
}

}  // namespace cohortix
