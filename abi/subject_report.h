#pragma once
// What the plug-in draws for every subject, told to a host that asks for it. The
// host application never asks: a plug-in that is not asked runs exactly as it does
// without this entry point. A host that asks hands the plug-in a table of
// callbacks with a context pointer of its own; from then on, for every subject it
// simulates, the plug-in calls them in the order its model makes the subject:
//
//   SubjectLevels once (the subject's group and subject indices, 0-based, and its
//     baseline B, one percent A = B / 100 and noise SD);
//   VoxelBaseline for every voxel of the box, in voxel order: F, the baseline of
//     every value of the voxel as the whole-volume pass wrote it;
//   then for every region r in order: CellEffect for every predictor p in order
//     (the effect table's value and the value the subject received), RegionPlaced
//     (the centre asked in Talairach coordinates, the radius, and the voxel the
//     centre fell on after the subject's jitter), and RegionVoxel for every voxel
//     the region rewrites, in the cube's order, with its fresh baseline F.
//
// A voxel is numbered (z * DimY + y) * DimX + x. The callbacks run on the thread
// that runs execute, between host calls; they must not call back into the plug-in.
// A null table stops the reports. The table must stay valid until it is replaced
// or the library is unloaded; the plug-in keeps the pointer, not a copy.

#include <cstddef>
#include <cstdint>

#include "abi/export.h"

extern "C" {

struct CohortixSubjectReport {
  // sizeof(CohortixSubjectReport) as the host was built: a plug-in calls only the
  // callbacks that lie within it, so the table may grow at its end.
  uint32_t Size;
  void* Context;
  void (*SubjectLevels)(void* context, int32_t g, int32_t s, float baseline, float onePercent,
                        float noiseSD);
  void (*VoxelBaseline)(void* context, uint64_t voxel, float baseline);
  void (*CellEffect)(void* context, int32_t r, int32_t p, float tableValue, float received);
  void (*RegionPlaced)(void* context, int32_t r, int32_t talX, int32_t talY, int32_t talZ,
                       float radius, int32_t centreX, int32_t centreY, int32_t centreZ);
  void (*RegionVoxel)(void* context, int32_t r, uint64_t voxel, float baseline);
};

// The name a host looks the entry point up by; an older plug-in does not export it.
#define COHORTIX_REPORT_SUBJECTS_NAME "cohortixReportSubjects"

// Asks for the reports from the next subject on (null: no more reports). Returns
// the Size of the table this plug-in knows, so a host can tell which of its
// callbacks will be called.
COHORTIX_EXPORT uint32_t cohortixReportSubjects(const CohortixSubjectReport* report);
}

static_assert(offsetof(CohortixSubjectReport, Size) == 0);
static_assert(offsetof(CohortixSubjectReport, Context) == 8);
static_assert(offsetof(CohortixSubjectReport, SubjectLevels) == 16);
static_assert(offsetof(CohortixSubjectReport, VoxelBaseline) == 24);
static_assert(offsetof(CohortixSubjectReport, CellEffect) == 32);
static_assert(offsetof(CohortixSubjectReport, RegionPlaced) == 40);
static_assert(offsetof(CohortixSubjectReport, RegionVoxel) == 48);
static_assert(sizeof(CohortixSubjectReport) == 56);
