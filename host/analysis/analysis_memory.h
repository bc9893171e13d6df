#pragma once
// What an analysis holds at once, judged before it reads a subject: one subject's
// data as read and reordered time-fastest, its first-level maps, and the group
// level (each effect's moments per group, and every subject's effects where the
// correction relabels them).

#include <cstdint>

#include "host/io/status.h"
#include "host/session/memory_budget.h"

namespace cohortix::host {

struct AnalysisShape {
  int64_t voxels = 0;
  int32_t volumes = 0;
  int32_t subjects = 0;
  int32_t groups = 1;
  int32_t effects = 0;             // cells and contrasts
  bool keepsSubjectValues = false;  // a permutation or cluster correction
};

struct AnalysisMemoryNeed {
  uint64_t subjectBytes = 0;  // one subject's data and first level
  uint64_t groupBytes = 0;    // the group level of every effect
  uint64_t totalBytes = 0;
};

AnalysisMemoryNeed analysisMemoryNeedOf(const AnalysisShape& shape);

// A refusal that says what the analysis needs, what it may use and what to change.
Status checkAnalysisMemory(const AnalysisMemoryNeed& need, const MemoryLimit& limit);

}  // namespace cohortix::host
