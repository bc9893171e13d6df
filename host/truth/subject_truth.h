#pragma once
// What one subject received from the model, as the replay of its draws recorded
// it: its levels, every region's placement, effects and voxels, and every voxel's
// baseline and the region that finally wrote it.

#include <cstdint>
#include <string>
#include <vector>

#include "control/vtc_geometry.h"
#include "simulation/subject_model.h"

namespace cohortix::host::truth {

// The effect of one cell in one region, in percent of the subject's baseline.
struct CellEffect {
  float tableValue = 0.0f;  // as the effect table gives it
  float received = 0.0f;    // with the subject's draw when effects vary per subject
};

struct RegionTruth {
  RegionPlacement placement;       // centre asked, centre after jitter, radius
  std::vector<CellEffect> effects; // by cell, in predictor order
  int64_t voxelsWritten = 0;       // inside the box; the sphere's other voxels were clipped
  int64_t voxelsOverwritten = 0;   // of those, how many later regions wrote again
};

struct SubjectTruth {
  int32_t groupNumber = 0;
  int32_t subjectNumber = 0;
  SubjectLevels levels;
  std::vector<std::string> cellNames;  // the predictors' names, one per cell
  std::vector<RegionTruth> regions;    // by region, in the design's order
  // Per voxel, x fastest: its baseline F and 0, or r + 1 for region r when region
  // r wrote it last.
  std::vector<float> voxelBaseline;
  std::vector<int16_t> finalRegion;

  std::size_t cells() const { return cellNames.size(); }
  // The effect of cell p at voxel v (0 where no region wrote).
  float effectAt(std::size_t voxel, std::size_t p) const;
};

}  // namespace cohortix::host::truth
