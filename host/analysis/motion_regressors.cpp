#include "host/analysis/motion_regressors.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <system_error>

#include "host/analysis/study_source.h"
#include "host/formats/text_lines.h"

namespace cohortix::host {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kSubject = "{subject}";
constexpr std::array<std::string_view, 6> kParameters = {"trans_x", "trans_y", "trans_z",
                                                         "rot_x",   "rot_y",   "rot_z"};

bool finiteNumber(std::string_view token, double* value) {
  if (!token.empty() && token.front() == '+') token.remove_prefix(1);
  const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), *value);
  return !token.empty() && error == std::errc() && end == token.data() + token.size() && std::isfinite(*value);
}

// A header holds no number at all; a row with one bad value is still a row.
bool isHeader(const std::vector<std::string_view>& tokens) {
  return std::none_of(tokens.begin(), tokens.end(), [](std::string_view token) {
    double value = 0.0;
    if (!token.empty() && token.front() == '+') token.remove_prefix(1);
    const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), value);
    return error == std::errc() && end == token.data() + token.size();
  });
}

// A table's lines without their ends, each with its number.
struct Line {
  int number;
  std::vector<std::string_view> tokens;
};

std::vector<Line> nonBlankLines(std::string_view text) {
  std::vector<Line> lines;
  int number = 0;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    ++number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::vector<std::string_view> tokens = splitTokens(line);
    if (!tokens.empty()) lines.push_back({number, std::move(tokens)});
  }
  return lines;
}

// Which columns hold the six parameters, and their names, from the header (when
// the first line is one).
struct Columns {
  std::size_t width = kParameters.size();
  std::array<std::size_t, 6> taken = {0, 1, 2, 3, 4, 5};
  std::vector<std::string> names;
  bool header = false;
};

Result<Columns> columnsOf(const Line& first, const std::string& file) {
  Columns columns;
  if (!isHeader(first.tokens)) {
    for (std::string_view name : kParameters) columns.names.push_back("motion regressor " + std::string(name));
    return columns;
  }
  columns.header = true;
  columns.width = first.tokens.size();
  bool named = true;
  for (std::size_t p = 0; p < kParameters.size(); ++p) {
    const auto at = std::find(first.tokens.begin(), first.tokens.end(), kParameters[p]);
    named = named && at != first.tokens.end();
    if (at != first.tokens.end()) columns.taken[p] = static_cast<std::size_t>(at - first.tokens.begin());
  }
  if (!named && columns.width != kParameters.size())
    return Status::error(file + ":" + std::to_string(first.number) +
                         ": expected a header naming trans_x, trans_y, trans_z, rot_x, rot_y and rot_z, or six "
                         "columns, found " + std::to_string(columns.width) + " columns");
  if (!named) columns.taken = {0, 1, 2, 3, 4, 5};
  for (std::size_t c : columns.taken)
    columns.names.push_back("motion regressor \"" + std::string(first.tokens[c]) + "\"");
  return columns;
}

std::string where(const std::string& file, int line) { return file + ":" + std::to_string(line); }

}  // namespace

Result<MotionRegressorSetting> motionRegressorSetting(const std::string& value) {
  MotionRegressorSetting setting;
  if (value.empty() || value == "true") {
    setting.source = MotionRegressorSetting::Source::Truth;
    return setting;
  }
  if (value.find(kSubject) == std::string::npos)
    return Status::error("--motion-regressors takes no value (the run's motion truth) or a path holding "
                         "{subject}, such as realign/{subject}.tsv, found \"" + value +
                         "\" (give RUN before the option)");
  setting.source = MotionRegressorSetting::Source::Files;
  setting.pattern = value;
  return setting;
}

fs::path motionRegressorFile(const std::string& pattern, const std::string& subject) {
  std::string path = pattern;
  for (std::size_t at = path.find(kSubject); at != std::string::npos;
       at = path.find(kSubject, at + subject.size()))
    path.replace(at, kSubject.size(), subject);
  return path;
}

Result<NuisanceRegressors> parseMotionRegressors(std::string_view text, const std::string& file,
                                                 int32_t volumes) {
  const std::vector<Line> lines = nonBlankLines(text);
  if (lines.empty())
    return Status::error(where(file, 1) + ": expected " + std::to_string(volumes) +
                         " rows of six motion parameters, found an empty file");
  Result<Columns> columns = columnsOf(lines.front(), file);
  if (!columns) return columns.status();
  const std::size_t first = columns->header ? 1 : 0;
  const auto rows = static_cast<int64_t>(lines.size() - first);
  if (rows > volumes)
    return Status::error(where(file, lines[first + static_cast<std::size_t>(volumes)].number) +
                         ": expected the end of the table after " + std::to_string(volumes) +
                         " rows (one per volume), found another row");
  if (rows < volumes)
    return Status::error(where(file, lines.back().number + 1) + ": expected " + std::to_string(volumes) +
                         " rows (one per volume), found " + std::to_string(rows));
  NuisanceRegressors regressors;
  regressors.values.resize(volumes, static_cast<Eigen::Index>(kParameters.size()));
  regressors.names = columns->names;
  for (int32_t t = 0; t < volumes; ++t) {
    const Line& line = lines[first + static_cast<std::size_t>(t)];
    if (line.tokens.size() != columns->width)
      return Status::error(where(file, line.number) + ": expected " + std::to_string(columns->width) +
                           " columns, found " + std::to_string(line.tokens.size()));
    for (std::size_t p = 0; p < kParameters.size(); ++p) {
      const std::size_t c = columns->taken[p];
      double value = 0.0;
      if (!finiteNumber(line.tokens[c], &value))
        return Status::error(where(file, line.number) + ": expected a number in column " + std::to_string(c + 1) +
                             ", found " + describeFound(line.tokens[c]));
      regressors.values(t, static_cast<Eigen::Index>(p)) = value;
    }
  }
  regressors.values.rowwise() -= regressors.values.colwise().mean();
  return regressors;
}

Status checkMotionRegressorFiles(const StudySource& source, const MotionRegressorSetting& setting,
                                 bool skipDamaged) {
  if (!setting.enabled()) return Status::ok();
  std::error_code error;
  const std::vector<SubjectEntry>& subjects = source.subjects();
  std::size_t missing = 0;
  fs::path firstMissing;
  std::string whose;
  for (std::size_t i = 0; i < subjects.size(); ++i) {
    const fs::path file = source.motionRegressorFile(i, setting);
    if (fs::is_regular_file(file, error)) continue;
    if (missing++ == 0) firstMissing = file, whose = subjects[i].name;
  }
  if (missing == 0) return Status::ok();
  if (missing == subjects.size() && setting.source == MotionRegressorSetting::Source::Truth)
    return Status::error("--motion-regressors: the run holds no motion truth (no " + firstMissing.string() +
                         "): it was made without --motion or without its truth (--truth); give a "
                         "realignment's parameters with --motion-regressors PATTERN");
  if (skipDamaged && missing < subjects.size()) return Status::ok();
  return Status::error("--motion-regressors: no motion parameters for " + whose + ": " + firstMissing.string() +
                       " is missing");
}

}  // namespace cohortix::host
