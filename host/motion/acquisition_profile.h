#pragma once
// The scanner's acquisition, described beside its noise in a profile file
// (docs/noise.md): how the head moves, [motion], and when the slices are taken,
// [slices]. Each value keeps its line for the refusals only the study can make
// (a multiband factor that does not divide its slices, an acquisition longer
// than its TR), and a run's options take the place of the file's values.
//
//   [motion]
//   preset = "typical"        # still, typical, high; the values below override it
//   jitter_mm = 0.03          # MotionProfile's fields (head_motion.h)
//   drift_mm_per_minute = 0.05
//   spike_rate = 0.01
//   spike_mm = 0.3
//   reversion = 0.05
//
//   [slices]
//   order = "interleaved"     # ascending, descending, interleaved, or a list
//                             # of the (band's) slices in their order: [1, 3, 0, 2]
//   multiband = 2             # slices acquired at once
//   acquisition_s = 1.9       # a volume's acquisition time; the TR when absent

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "host/io/status.h"
#include "host/motion/head_motion.h"
#include "host/motion/slice_timing.h"

namespace cohortix::host::motion {

struct MotionSection {
  MotionProfile profile;
  int line = 0;  // of [motion]
};

struct SliceSection {
  std::string orderName;  // "listed" for a list
  SliceSchedule schedule;
  int line = 0, orderLine = 0, multibandLine = 0, acquisitionLine = 0;
};

struct AcquisitionProfile {
  std::string name;  // the file, for messages
  std::optional<MotionSection> motion;
  std::optional<SliceSection> slices;
};

// Only [motion] and [slices] are read; the rest of the file is the noise
// profile's (noise_profile_file.h).
Result<AcquisitionProfile> parseAcquisitionProfile(std::string_view text, const std::string& name);
Result<AcquisitionProfile> readAcquisitionProfile(const std::filesystem::path& file);

// What a run asks for on its command line, each taking the profile's place.
struct AcquisitionOptions {
  std::string motion;      // a preset's name; empty: the profile's
  std::string sliceOrder;  // empty: the profile's
  int32_t multiband = 0;   // 0: the profile's, or 1
};

// The run's motion and slices, or why the study cannot have them:
// "file:line: expected ..., found ..." for the profile's values, "--multiband:
// expected ..., found ..." for the options'. `anatomy`: the run has a brain to
// move and slices to time; without it a profile's [motion] or [slices] is refused.
struct RunAcquisition {
  std::optional<MotionProfile> motion;
  std::optional<SliceSchedule> slices;
  std::string sliceOrderName;
};
Result<RunAcquisition> resolveAcquisition(const AcquisitionProfile* profile, const AcquisitionOptions& options,
                                          int32_t slices, double repetitionTime, bool anatomy);

}  // namespace cohortix::host::motion
