#include "host/motion/slice_timing.h"

namespace cohortix::host::motion {

std::optional<SliceOrder> sliceOrderNamed(std::string_view name) {
  if (name == "ascending") return SliceOrder::Ascending;
  if (name == "descending") return SliceOrder::Descending;
  if (name == "interleaved") return SliceOrder::Interleaved;
  return std::nullopt;
}

std::vector<std::string> sliceOrderNames() { return {"ascending", "descending", "interleaved"}; }

std::vector<double> sliceTimes(SliceOrder order, int32_t slices, double repetitionTime) {
  std::vector<double> times(slices > 0 ? static_cast<std::size_t>(slices) : 0);
  const int32_t even = (slices + 1) / 2;  // slices 0, 2, 4, ...
  for (int32_t k = 0; k < slices; ++k) {
    int32_t rank = k;
    if (order == SliceOrder::Descending) rank = slices - 1 - k;
    if (order == SliceOrder::Interleaved) rank = k % 2 == 0 ? k / 2 : even + k / 2;
    times[static_cast<std::size_t>(k)] = rank * repetitionTime / slices;
  }
  return times;
}

}  // namespace cohortix::host::motion
