#include "simulation/subject_report.h"

#include <atomic>
#include <cstddef>

namespace cohortix {
namespace {

// Written by the host between runs, read by the run: atomic only so that a host
// that asks from another thread than the one it runs on is still well defined.
std::atomic<const CohortixSubjectReport*> requestedReport{nullptr};

// A callback the host's table holds: within the Size it was built with, and set.
template <typename Callback>
Callback callback(const CohortixSubjectReport& report, Callback CohortixSubjectReport::*member,
                  std::size_t offset) {
  if (report.Size < offset + sizeof(Callback)) return nullptr;
  return report.*member;
}

}  // namespace

void setSubjectReport(const CohortixSubjectReport* report) { requestedReport = report; }

const CohortixSubjectReport* subjectReport() { return requestedReport; }

void ReportingObserver::subjectLevels(const SubjectLevels& levels) {
  if (auto call = callback(report_, &CohortixSubjectReport::SubjectLevels,
                           offsetof(CohortixSubjectReport, SubjectLevels)))
    call(report_.Context, g_, s_, levels.Baseline, levels.OnePercent, levels.NoiseSD);
}

void ReportingObserver::wholeVolumeBaseline(std::size_t voxel, float F) {
  if (auto call = callback(report_, &CohortixSubjectReport::VoxelBaseline,
                           offsetof(CohortixSubjectReport, VoxelBaseline)))
    call(report_.Context, voxel, F);
}

void ReportingObserver::cellEffect(int32_t r, int32_t p, float tableValue, float received) {
  if (auto call = callback(report_, &CohortixSubjectReport::CellEffect,
                           offsetof(CohortixSubjectReport, CellEffect)))
    call(report_.Context, r, p, tableValue, received);
}

void ReportingObserver::regionPlaced(int32_t r, const RegionPlacement& placement) {
  if (auto call = callback(report_, &CohortixSubjectReport::RegionPlaced,
                           offsetof(CohortixSubjectReport, RegionPlaced)))
    call(report_.Context, r, placement.TalX, placement.TalY, placement.TalZ, placement.Radius,
         placement.Centre.X, placement.Centre.Y, placement.Centre.Z);
}

void ReportingObserver::regionVoxel(int32_t r, std::size_t voxel, float F) {
  if (auto call = callback(report_, &CohortixSubjectReport::RegionVoxel,
                           offsetof(CohortixSubjectReport, RegionVoxel)))
    call(report_.Context, r, voxel, F);
}

}  // namespace cohortix
