#include "host/motion/slice_timing.h"

#include <algorithm>
#include <sstream>

namespace cohortix::host::motion {
namespace {

std::string secondsText(double seconds) {
  std::ostringstream text;
  text << seconds << " s";
  return text.str();
}

// The place of position p in a band of b slices' order.
int32_t rankOf(SliceOrder order, int32_t p, int32_t b) {
  if (order == SliceOrder::Descending) return b - 1 - p;
  if (order == SliceOrder::Interleaved) return p % 2 == 0 ? p / 2 : (b + 1) / 2 + p / 2;
  return p;
}

}  // namespace

std::optional<SliceOrder> sliceOrderNamed(std::string_view name) {
  if (name == "ascending") return SliceOrder::Ascending;
  if (name == "descending") return SliceOrder::Descending;
  if (name == "interleaved") return SliceOrder::Interleaved;
  return std::nullopt;
}

std::vector<std::string> sliceOrderNames() { return {"ascending", "descending", "interleaved"}; }

std::optional<SliceMisfit> sliceMisfit(const SliceSchedule& schedule, int32_t slices, double repetitionTime) {
  if (schedule.multiband < 1 || slices % schedule.multiband != 0)
    return SliceMisfit{SliceMisfit::Field::Multiband,
                       "a multiband factor that divides the volume's " + std::to_string(slices) + " slices",
                       std::to_string(schedule.multiband)};
  if (!schedule.listed.empty()) {
    const int32_t band = slices / schedule.multiband;
    std::vector<bool> seen(static_cast<std::size_t>(band), false);
    bool permutation = static_cast<int32_t>(schedule.listed.size()) == band;
    for (const int32_t p : schedule.listed) {
      permutation = permutation && p >= 0 && p < band && !seen[static_cast<std::size_t>(p)];
      if (permutation) seen[static_cast<std::size_t>(p)] = true;
    }
    if (!permutation)
      return SliceMisfit{SliceMisfit::Field::Order,
                         "an order of the " + std::to_string(band) + " slices" +
                             (schedule.multiband > 1 ? " of a band" : "") + ", each of 0 to " +
                             std::to_string(band - 1) + " once",
                         std::to_string(schedule.listed.size()) + " positions" +
                             (static_cast<int32_t>(schedule.listed.size()) == band ? ", not each once" : "")};
  }
  if (schedule.acquisitionTime &&
      !(*schedule.acquisitionTime > 0.0 && *schedule.acquisitionTime <= repetitionTime))
    return SliceMisfit{SliceMisfit::Field::AcquisitionTime,
                       "an acquisition time within the TR of " + secondsText(repetitionTime),
                       secondsText(*schedule.acquisitionTime)};
  return std::nullopt;
}

std::vector<double> sliceTimes(const SliceSchedule& schedule, int32_t slices, double repetitionTime) {
  std::vector<double> times(slices > 0 ? static_cast<std::size_t>(slices) : 0);
  const int32_t band = slices / std::max<int32_t>(schedule.multiband, 1);
  if (band <= 0) return times;
  const double acquisition = schedule.acquisitionTime.value_or(repetitionTime);
  std::vector<int32_t> rank(static_cast<std::size_t>(band));
  for (int32_t p = 0; p < band; ++p) rank[static_cast<std::size_t>(p)] = rankOf(schedule.order, p, band);
  if (static_cast<int32_t>(schedule.listed.size()) == band)
    for (int32_t n = 0; n < band; ++n) rank[static_cast<std::size_t>(schedule.listed[static_cast<std::size_t>(n)])] = n;
  for (int32_t k = 0; k < slices; ++k)
    times[static_cast<std::size_t>(k)] = rank[static_cast<std::size_t>(k % band)] * acquisition / band;
  return times;
}

}  // namespace cohortix::host::motion
