#pragma once
// Head motion as nuisance regressors of the first level: six columns per volume
// (three translations, three rotations) from a subject's table, either the motion
// truth its run wrote (`_truth_motion.tsv` beside the native files,
// `_desc-motion_timeseries.tsv` among a dataset's derivatives) or any table of a
// realignment's parameters, found for each subject by a path pattern holding
// "{subject}".
//
// A table is one row per volume, its fields separated by tabs or spaces. A first
// line without a number is a header: when it names trans_x, trans_y,
// trans_z, rot_x, rot_y and rot_z those columns are taken, whatever else the
// table holds; otherwise it must name six columns. Without a header every row is
// six numbers. Refused with "file:line: expected ..., found ...": a row of
// another width, a value that is not a finite number, more or fewer rows than
// the subject's volumes.
//
// The columns are centred (their mean over the run subtracted), so the intercept
// stays the signal level at the run's mean position and the betas' baseline is
// the same as without them.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "host/analysis/first_level_fit.h"
#include "host/io/status.h"

namespace cohortix::host {

class StudySource;

struct MotionRegressorSetting {
  enum class Source { None, Truth, Files };
  Source source = Source::None;
  std::string pattern;  // Files: a path holding "{subject}"

  bool enabled() const { return source != Source::None; }
  // As the analysis records it: "truth" or the pattern.
  std::string recorded() const { return source == Source::Truth ? "truth" : pattern; }
};

// The option's value: "" or "true" the run's truth; a path with "{subject}" a
// realignment's tables. Anything else is refused with the reason.
Result<MotionRegressorSetting> motionRegressorSetting(const std::string& value);

// The subject's file under a pattern: every "{subject}" replaced by its name.
std::filesystem::path motionRegressorFile(const std::string& pattern, const std::string& subject);

Result<NuisanceRegressors> parseMotionRegressors(std::string_view text, const std::string& file,
                                                 int32_t volumes);

// Before the analysis: every subject's table is there (with skipDamaged, some
// subject's: the others are left out as they are loaded). A run without any
// motion truth is refused as such (it was made without --motion).
Status checkMotionRegressorFiles(const StudySource& source, const MotionRegressorSetting& setting,
                                 bool skipDamaged);

}  // namespace cohortix::host
