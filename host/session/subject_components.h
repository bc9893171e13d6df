#pragma once
// What the plug-in drew for one subject, as it reported it (or as a replay of its
// draws recorded it): its levels, every region's effects, placement and voxels, and
// every voxel's baseline and the region that finally wrote it. With the subject's
// predictors these take its data apart exactly: a voxel that region r wrote last
// holds, at volume t, (F + A x response_r(t)) + noise, where response_r is the
// received-effect-weighted sum of the predictors summed as the plug-in sums it
// (regionResponse); any other voxel holds F + noise.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "host/documents/design_matrix.h"
#include "simulation/subject_model.h"

namespace cohortix::host {

// The effect of one cell in one region, in percent of the subject's baseline.
struct CellEffect {
  float tableValue = 0.0f;  // as the effect table gives it
  float received = 0.0f;    // with the subject's draw when effects vary per subject
};

struct RegionComponents {
  RegionPlacement placement;        // centre asked, centre after jitter, radius
  std::vector<CellEffect> effects;  // by cell, in predictor order
  // The voxels the region wrote, in the cube's order; a later region may have
  // written some of them again. Those of the sphere outside the box were clipped.
  std::vector<uint32_t> voxels;
  int64_t voxelsOverwritten = 0;    // of those, how many later regions wrote again
  int64_t voxelsWritten() const { return static_cast<int64_t>(voxels.size()); }
};

struct SubjectComponents {
  // The study's numbers of the subject (set when it is saved; 0 until then).
  int32_t groupNumber = 0;
  int32_t subjectNumber = 0;
  // The plug-in's own group and subject indices, 0-based, as it simulated it.
  int32_t pluginGroup = -1;
  int32_t pluginSubject = -1;
  SubjectLevels levels;
  std::vector<std::string> cellNames;  // the predictors' names, one per cell
  std::vector<RegionComponents> regions;
  // Per voxel, x fastest: its baseline F and 0, or r + 1 for region r when region
  // r wrote it last.
  std::vector<float> voxelBaseline;
  std::vector<int16_t> finalRegion;
  // Per voxel, the share of its region's signal a later stage kept in it (the
  // anatomy's grey matter); empty: all of it, as the plug-in made it.
  std::vector<float> signalWeight;

  std::size_t cells() const { return cellNames.size(); }
  // The effect of cell p at voxel v (0 where no region wrote), times its signal
  // weight.
  float effectAt(std::size_t voxel, std::size_t p) const;
};

// The cell names of a design matrix: one per predictor the plug-in takes effects for.
std::vector<std::string> cellNamesOf(const DesignMatrix& matrix);

// Region r's summed response, one value per volume: the received effects times the
// predictors, added predictor by predictor in float as the plug-in adds them (a
// predictor shorter than `volumes` counts as 0 past its end).
std::vector<float> regionResponse(const SubjectComponents& subject, const DesignMatrix& matrix,
                                  std::size_t region, std::size_t volumes);

// A subject's data taken apart: for every voxel and volume (the VTC's layout) the
// noise, data - F - A x response, in float; baseline and signal are the rest.
struct SubjectParts {
  std::vector<float> noiseFree;  // F + A x response: the data the plug-in makes without noise
  std::vector<float> noise;      // data - noiseFree
};
SubjectParts separateSubject(const SubjectComponents& subject, const DesignMatrix& matrix,
                             std::span<const float> data, std::size_t volumes);

// The noise-free data alone, F + A x response, written over `data` (the VTC's
// layout): what a stage that puts other noise in the plug-in's place starts from.
void writeNoiseFree(const SubjectComponents& subject, const DesignMatrix& matrix, std::span<float> data,
                    std::size_t volumes);

}  // namespace cohortix::host
