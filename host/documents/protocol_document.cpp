#include "host/documents/protocol_document.h"

#include <algorithm>

namespace cohortix::host {

int32_t ProtocolDocument::extent() const {
  int32_t last = 0;
  for (const ProtocolCondition& condition : conditions)
    for (const ProtocolInterval& interval : condition.intervals) last = std::max(last, interval.last);
  return last;
}

ColorComponents splitColor(int32_t color) {
  // Arithmetic shift: a negative packed colour keeps its sign in red.
  return {color >> 16, (color >> 8) & 0xFF, color & 0xFF};
}

}  // namespace cohortix::host
