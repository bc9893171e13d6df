#pragma once
// When each slice of a volume is acquired. Slices lie along the exports' third
// axis, k (the VTC's z, Talairach x, so sagittal on this grid), the axis BIDS's
// SliceTiming refers to by default, and a volume's slices are acquired one after
// the other within its repetition time, the n-th of the order n x TR / slices
// after the volume's start:
//   ascending    k = 0, 1, 2, ...;
//   descending   k = slices - 1, slices - 2, ...;
//   interleaved  k = 0, 2, 4, ..., then 1, 3, 5, ...

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cohortix::host::motion {

enum class SliceOrder { Ascending, Descending, Interleaved };

std::optional<SliceOrder> sliceOrderNamed(std::string_view name);
std::vector<std::string> sliceOrderNames();

// Seconds after the volume's start, for the slices k = 0 .. slices - 1.
std::vector<double> sliceTimes(SliceOrder order, int32_t slices, double repetitionTime);

}  // namespace cohortix::host::motion
