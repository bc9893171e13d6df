// Slice times: every order acquires each slice once, a TR / slices apart, in its
// own sequence along the third axis; a slice acquired at the volume's start has
// the volume's own haemodynamic kernel.

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <vector>

#include "host/documents/two_gamma_hrf.h"
#include "host/motion/slice_timing.h"

namespace cohortix::host::motion {
namespace {

// The slices in the order they are acquired.
std::vector<int> acquisition(const std::vector<double>& times) {
  std::vector<int> order(times.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return times[a] < times[b]; });
  return order;
}

TEST(SliceTiming, EachOrderTakesEverySliceOnceInItsSequence) {
  const double tr = 2.5;
  for (const int slices : {1, 6, 7}) {
    const auto times = [&](const char* name) { return sliceTimes(*sliceOrderNamed(name), slices, tr); };
    std::vector<int> ascending(static_cast<std::size_t>(slices)), descending, interleaved;
    std::iota(ascending.begin(), ascending.end(), 0);
    descending.assign(ascending.rbegin(), ascending.rend());
    for (int k = 0; k < slices; k += 2) interleaved.push_back(k);
    for (int k = 1; k < slices; k += 2) interleaved.push_back(k);
    EXPECT_EQ(acquisition(times("ascending")), ascending);
    EXPECT_EQ(acquisition(times("descending")), descending);
    EXPECT_EQ(acquisition(times("interleaved")), interleaved);
    for (const char* name : {"ascending", "descending", "interleaved"}) {
      std::vector<double> sorted = times(name);
      std::sort(sorted.begin(), sorted.end());
      for (int n = 0; n < slices; ++n) EXPECT_DOUBLE_EQ(sorted[static_cast<std::size_t>(n)], n * tr / slices) << name;
    }
  }
  EXPECT_FALSE(sliceOrderNamed("spiral"));
  EXPECT_EQ(twoGammaKernelAt(2.0, 0.0), twoGammaKernel(2.0));
}

}  // namespace
}  // namespace cohortix::host::motion
