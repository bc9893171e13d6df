// One subject's volume time courses, written in place into the run's VTC. The
// order of the Gaussian draws fixes the data a generator state produces: the
// subject's baseline; every voxel of the box (z outermost, x innermost) with its
// baseline and then its noise, volume by volume; then every region with its
// effect draws, its three centre draws and its cube of voxels.

#include <algorithm>
#include <cstddef>

#include "control/cell_index.h"
#include "control/round_half_up.h"
#include "control/vtc_geometry.h"
#include "simulation/host_function_table.h"
#include "simulation/random/gaussian_block.h"
#include "simulation/random/random_sources.h"
#include "simulation/run_failure.h"
#include "simulation/run_texts.h"
#include "simulation/simulated_vtc.h"

namespace cohortix {
namespace {

// A subject's baseline never falls below this signal level.
constexpr float kLowestSubjectBaseline = 150.0f;

// The signal levels of one subject, all in its own units.
struct SubjectLevels {
  float Baseline = 0.0f;     // B
  float OnePercent = 0.0f;   // A = B / 100: the unit of effects and noise
  float NoiseSD = 0.0f;
};

SubjectLevels drawSubjectLevels(const SimulationDesign& design, int32_t& RandomSeed) {
  SubjectLevels levels;
  levels.Baseline = static_cast<float>(design.MeanBaseline) +
                    design.BaselineSDAcrossSubjects * gaussianDeviate(RandomSeed);
  if (levels.Baseline < kLowestSubjectBaseline) levels.Baseline = kLowestSubjectBaseline;
  levels.OnePercent = levels.Baseline / 100.0f;
  levels.NoiseSD = levels.OnePercent * design.NoiseSDPercent;
  return levels;
}

float drawVoxelBaseline(const SimulationDesign& design, const SubjectLevels& levels,
                        int32_t& RandomSeed) {
  return levels.Baseline + design.BaselineSDAcrossVoxels * gaussianDeviate(RandomSeed);
}

// The draws a voxel outside the box would have taken, so clipping a region leaves
// the stream as it would be without the clip.
void skipDeviates(std::size_t n, int32_t& RandomSeed) {
  for (std::size_t t = 0; t < n; ++t) gaussianDeviate(RandomSeed);
}

std::size_t voxelCount(const SimulatedVTC& vtc) {
  if (vtc.DimX <= 0 || vtc.DimY <= 0 || vtc.DimZ <= 0) return 0;
  return static_cast<std::size_t>(vtc.DimX) * static_cast<std::size_t>(vtc.DimY) *
         static_cast<std::size_t>(vtc.DimZ);
}

bool insideBox(const SimulatedVTC& vtc, const VoxelIndex& v) {
  return v.X >= 0 && v.X < vtc.DimX && v.Y >= 0 && v.Y < vtc.DimY && v.Z >= 0 && v.Z < vtc.DimZ;
}

// Voxel-major, time fastest: the voxels follow one another in loop order. The
// noise deviates of a voxel go straight into its time course and become its values
// in place.
void simulateWholeVolume(const SimulatedVTC& vtc, const SimulationDesign& design,
                         const SubjectLevels& levels, std::size_t n, int32_t& RandomSeed) {
  float* slot = vtc.Data;
  for (std::size_t voxel = voxelCount(vtc); voxel > 0; --voxel, slot += n) {
    const float baseline = drawVoxelBaseline(design, levels, RandomSeed);
    gaussianDeviates(slot, n, RandomSeed);
    for (std::size_t t = 0; t < n; ++t) slot[t] = baseline + levels.NoiseSD * slot[t];
  }
}

// The subject's effect of cell p in region r; drawn around the group's value when
// the table holds one row per group.
float effectOf(const SimulationDesign& design, int32_t r, int32_t g, int32_t s, int32_t p,
               int32_t& RandomSeed) {
  const float table = design.EffectTable[r][effectRow(design, g, s)][p];
  if (!design.EffectsPerGroup) return table;
  return table + design.SubjectEffectSD * gaussianDeviate(RandomSeed);
}

// The effect-weighted sum of the subject's predictors into response. A cell beyond
// the effect table's capacity has no effect column, so no predictor past it counts.
bool sumPredictedResponse(const SimulationDesign& design, int32_t r, int32_t g, int32_t s,
                          int32_t NrOfPredictors, float* response, std::size_t n,
                          int32_t& RandomSeed) {
  std::fill(response, response + n, 0.0f);
  const int32_t predictors = std::min(NrOfPredictors, kMaxWithinCells);
  for (int32_t p = 0; p < predictors; ++p) {
    const float* course = hostFunctions().ktGetPredictor(p);
    if (course == nullptr) {
      stopBusyAndShow(texts::kPredictorAccess);
      return false;
    }
    const float effect = effectOf(design, r, g, s, p, RandomSeed);
    for (std::size_t t = 0; t < n; ++t) response[t] = response[t] + effect * course[t];
  }
  return true;
}

int32_t drawShift(float centerSD, int32_t& RandomSeed) {
  return roundHalfUp(static_cast<double>(centerSD * gaussianDeviate(RandomSeed)));
}

VoxelIndex drawCentre(const SimulatedVTC& vtc, const EffectRegion& region, int32_t& RandomSeed) {
  VoxelIndex centre = regionCentreVoxel(region, boxOfHeader(vtc.Header));
  centre.X += drawShift(region.CenterSD, RandomSeed);
  centre.Y += drawShift(region.CenterSD, RandomSeed);
  centre.Z += drawShift(region.CenterSD, RandomSeed);
  return centre;
}

float distance(const VoxelIndex& a, const VoxelIndex& b) {
  const int32_t dx = a.X - b.X, dy = a.Y - b.Y, dz = a.Z - b.Z;
  return sqrtFloat(static_cast<float>(dx * dx + dy * dy + dz * dz));
}

void simulateSphereVoxel(const SimulatedVTC& vtc, const SubjectLevels& levels, float baseline,
                         const float* response, const VoxelIndex& v, std::size_t n,
                         int32_t& RandomSeed) {
  if (!insideBox(vtc, v)) return skipDeviates(n, RandomSeed);
  float* slot = vtc.Data + voxelElement(vtc, v, n);
  gaussianDeviates(slot, n, RandomSeed);
  for (std::size_t t = 0; t < n; ++t)
    slot[t] = (baseline + levels.OnePercent * response[t]) + levels.NoiseSD * slot[t];
}

// Every voxel of the cube around the centre takes its baseline draw; those within
// Radius of the centre are replaced by baseline, response and fresh noise.
void simulateSphere(const SimulatedVTC& vtc, const SimulationDesign& design,
                    const SubjectLevels& levels, const EffectRegion& region,
                    const VoxelIndex& centre, const float* response, std::size_t n,
                    int32_t& RandomSeed) {
  const int32_t J = roundHalfUp(static_cast<double>(region.Radius));
  VoxelIndex v;
  for (v.Z = centre.Z - J; v.Z <= centre.Z + J; ++v.Z)
    for (v.Y = centre.Y - J; v.Y <= centre.Y + J; ++v.Y)
      for (v.X = centre.X - J; v.X <= centre.X + J; ++v.X) {
        const float baseline = drawVoxelBaseline(design, levels, RandomSeed);
        if (distance(v, centre) > region.Radius) continue;
        simulateSphereVoxel(vtc, levels, baseline, response, v, n, RandomSeed);
      }
}

}  // namespace

bool simulateSubjectVTC(const SimulatedVTC& vtc, const SimulationDesign& design, int32_t g,
                        int32_t s, int32_t NrOfPredictors, float* response,
                        int32_t& RandomSeed) {
  const std::size_t n = vtc.Header.NrOfVolumes > 0 ? vtc.Header.NrOfVolumes : 0;
  const SubjectLevels levels = drawSubjectLevels(design, RandomSeed);
  simulateWholeVolume(vtc, design, levels, n, RandomSeed);
  for (int32_t r = 0; r < design.NrOfRegions && r < kMaxRegions; ++r) {
    if (!sumPredictedResponse(design, r, g, s, NrOfPredictors, response, n, RandomSeed))
      return false;
    const EffectRegion& region = design.Regions[r];
    const VoxelIndex centre = drawCentre(vtc, region, RandomSeed);
    simulateSphere(vtc, design, levels, region, centre, response, n, RandomSeed);
  }
  return true;
}

}  // namespace cohortix
