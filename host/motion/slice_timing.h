#pragma once
// When each slice of a volume is acquired. Slices lie along the exports' third
// axis, k (the VTC's z, Talairach x, so sagittal on this grid), the axis BIDS's
// SliceTiming refers to by default. A volume's slices are acquired in shots, one
// after the other within the acquisition time TA (the TR unless a profile says
// otherwise): the n-th shot of the order n x TA / shots after the volume's start.
// Without multiband a shot is one slice; with a multiband factor m the slices
// come in m bands of slices / m, and a shot takes the same place in every band:
// slice k is acquired with k + slices / m, k + 2 slices / m, ...
// Within a band of b slices (positions p = k mod b), the orders are:
//   ascending    p = 0, 1, 2, ...;
//   descending   p = b - 1, b - 2, ...;
//   interleaved  p = 0, 2, 4, ..., then 1, 3, 5, ...
// or any order listed position by position (a profile's `order = [1, 3, 0, 2]`).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cohortix::host::motion {

enum class SliceOrder { Ascending, Descending, Interleaved };

std::optional<SliceOrder> sliceOrderNamed(std::string_view name);
std::vector<std::string> sliceOrderNames();

struct SliceSchedule {
  SliceOrder order = SliceOrder::Ascending;
  int32_t multiband = 1;                  // slices acquired at once
  std::optional<double> acquisitionTime;  // seconds for a volume's shots; none: the TR
  std::vector<int32_t> listed;            // the band's positions in their order; empty: `order`'s
};

// Why a volume of `slices` slices at `repetitionTime` cannot be acquired so, as
// the two halves of "expected ..., found ...", and which of the schedule's
// values is at fault.
struct SliceMisfit {
  enum class Field { Order, Multiband, AcquisitionTime } field;
  std::string expected;
  std::string found;
};
std::optional<SliceMisfit> sliceMisfit(const SliceSchedule& schedule, int32_t slices, double repetitionTime);

// Seconds after the volume's start, for the slices k = 0 .. slices - 1; the
// schedule must fit (sliceMisfit).
std::vector<double> sliceTimes(const SliceSchedule& schedule, int32_t slices, double repetitionTime);
inline std::vector<double> sliceTimes(SliceOrder order, int32_t slices, double repetitionTime) {
  return sliceTimes(SliceSchedule{order, 1, std::nullopt, {}}, slices, repetitionTime);
}

}  // namespace cohortix::host::motion
