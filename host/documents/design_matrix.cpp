#include "host/documents/design_matrix.h"

#include <algorithm>
#include <cstdint>

namespace cohortix::host {

void setValuesFromIntervals(std::vector<float>& values,
                            const std::vector<ProtocolInterval>& intervals, float value) {
  std::fill(values.begin(), values.end(), 0.0f);
  const int64_t count = static_cast<int64_t>(values.size());
  for (const ProtocolInterval& interval : intervals) {
    const int64_t first = std::max<int64_t>(interval.first, 1);
    const int64_t last = std::min<int64_t>(interval.last, count);
    for (int64_t volume = first; volume <= last; ++volume) values[volume - 1] = value;
  }
}

}  // namespace cohortix::host
