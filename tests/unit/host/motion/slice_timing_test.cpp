// Slice times: every order acquires each slice once, a TR / slices apart, in its
// own sequence along the third axis; with multiband, each band the single-band
// order of its slices at once, within the acquisition time; a slice acquired at
// the volume's start has the volume's own haemodynamic kernel. A profile's
// [motion] and [slices] that the study cannot take are refused at their line.

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <vector>

#include "host/documents/two_gamma_hrf.h"
#include "host/motion/acquisition_profile.h"
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

TEST(SliceTiming, MultibandBandsRepeatTheSingleBandOrderWithinTheAcquisitionTime) {
  for (const SliceOrder order : {SliceOrder::Ascending, SliceOrder::Descending, SliceOrder::Interleaved})
    for (const int multiband : {1, 2, 3}) {
      const int slices = 12, band = slices / multiband;
      const SliceSchedule schedule{order, multiband, 1.5, {}};
      ASSERT_FALSE(sliceMisfit(schedule, slices, 2.0));
      const std::vector<double> times = sliceTimes(schedule, slices, 2.0);
      const std::vector<double> single = sliceTimes(SliceSchedule{order, 1, 1.5, {}}, band, 2.0);
      for (int k = 0; k < slices; ++k)
        EXPECT_DOUBLE_EQ(times[static_cast<std::size_t>(k)], single[static_cast<std::size_t>(k % band)]);
    }
  // A listed order: position n of the list acquired n-th, in every band.
  const std::vector<double> listed = sliceTimes(SliceSchedule{SliceOrder::Ascending, 2, std::nullopt, {1, 3, 0, 2}}, 8, 2.0);
  EXPECT_EQ(listed, (std::vector<double>{1.0, 0.0, 1.5, 0.5, 1.0, 0.0, 1.5, 0.5}));
  EXPECT_EQ(sliceMisfit({SliceOrder::Ascending, 4, std::nullopt, {}}, 46, 2.0)->found, "4");
  EXPECT_EQ(sliceMisfit({SliceOrder::Ascending, 1, 2.5, {}}, 46, 2.0)->field, SliceMisfit::Field::AcquisitionTime);
  for (const std::vector<int32_t>& bad : {std::vector<int32_t>{0, 1, 2}, {0, 1, 1, 2}, {0, 1, 2, 4}})
    EXPECT_EQ(sliceMisfit({SliceOrder::Ascending, 2, std::nullopt, bad}, 8, 2.0)->field, SliceMisfit::Field::Order);
}

TEST(AcquisitionProfile, ReadsBesideTheNoiseAndRefusesAtTheLineWhatTheStudyCannotTake) {
  const std::string text =
      "[target]\ntsnr = 70\n[motion]\npreset = \"high\"\nspike_rate = 0.1\n"
      "[slices]\norder = \"interleaved\"\nmultiband = 2\nacquisition_s = 1.5\n";
  const Result<AcquisitionProfile> profile = parseAcquisitionProfile(text, "p.toml");
  ASSERT_TRUE(profile) << profile.status().message();
  const Result<RunAcquisition> run = resolveAcquisition(&profile.value(), {}, 46, 2.0, true);
  ASSERT_TRUE(run) << run.status().message();
  EXPECT_EQ(run.value().motion->name, "custom");
  EXPECT_EQ(run.value().motion->spikeRate, 0.1);
  EXPECT_EQ(run.value().motion->jitterMm, motionPreset("high")->jitterMm);
  EXPECT_EQ(run.value().slices->multiband, 2);
  // The options take the file's place.
  const Result<RunAcquisition> options = resolveAcquisition(&profile.value(), {"still", "ascending", 1}, 45, 2.0, true);
  ASSERT_TRUE(options) << options.status().message();
  EXPECT_EQ(options.value().motion->name, "still");
  EXPECT_EQ(options.value().sliceOrderName, "ascending");
  const auto refusal = [&](const AcquisitionOptions& asked, int slices, double tr, bool anatomy) {
    return resolveAcquisition(&profile.value(), asked, slices, tr, anatomy).status().message();
  };
  EXPECT_EQ(refusal({}, 45, 2.0, true), "p.toml:8: expected a multiband factor that divides the volume's 45 slices, found 2");
  EXPECT_EQ(refusal({}, 46, 1.2, true), "p.toml:9: expected an acquisition time within the TR of 1.2 s, found 1.5 s");
  EXPECT_EQ(refusal({"", "", 3}, 46, 2.0, true),
            "--multiband: expected a multiband factor that divides the volume's 46 slices, found 3");
  const Result<AcquisitionProfile> listed = parseAcquisitionProfile("[slices]\norder = [0, 2, 1]\n", "q.toml");
  ASSERT_TRUE(listed);
  EXPECT_EQ(resolveAcquisition(&listed.value(), {}, 4, 2.0, true).status().message(),
            "q.toml:2: expected an order of the 4 slices, each of 0 to 3 once, found 3 positions");
  EXPECT_EQ(refusal({}, 46, 2.0, false), "p.toml:3: expected a run with --anatomy for [motion] (a brain for the head "
                                         "to move), found none");
  for (const auto& [bad, message] : std::vector<std::pair<std::string, std::string>>{
           {"[motion]\npreset = \"wild\"\n", "p.toml:2: expected one of \"still\", \"typical\", \"high\" for motion.preset"},
           {"[slices]\nmultiband = 2\n", "p.toml:1: expected order in [slices], found none"},
           {"[slices]\norder = \"ascending\"\nmultiband = 1.5\n", "p.toml:3: expected a whole number for slices.multiband"},
           {"[slices]\norder = [0, -1]\n", "p.toml:2: expected slice numbers from 0 in slices.order, found -1"},
           {"[motion]\njitter = 1\n", "p.toml:2: expected one of preset, jitter_mm"}}) {
    const Result<AcquisitionProfile> read = parseAcquisitionProfile(bad, "p.toml");
    ASSERT_FALSE(read) << bad;
    EXPECT_EQ(read.status().message().substr(0, message.size()), message);
  }
}

}  // namespace
}  // namespace cohortix::host::motion
