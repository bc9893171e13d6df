// Head motion: each subject's six parameters and framewise displacement as the
// run's motion truth gives them, the volumes whose displacement exceeds the
// report's threshold marked. A run without motion truth has no such section.

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <system_error>

#include "host/formats/tsv_table.h"
#include "host/io/disk_interface.h"
#include "host/report/html_text.h"
#include "host/report/number_text.h"
#include "host/report/report_sections.h"
#include "host/report/svg_plot.h"

namespace cohortix::host {
namespace {

namespace fs = std::filesystem;

constexpr std::array<const char*, 6> kParameters = {"trans_x", "trans_y", "trans_z", "rot_x", "rot_y", "rot_z"};
constexpr std::array<Rgb, 3> kAxisColours = {Rgb{200, 40, 40}, Rgb{30, 140, 50}, Rgb{40, 80, 200}};
constexpr Rgb kDisplacementColour{0, 0, 0};
constexpr Rgb kThresholdColour{200, 40, 40};
constexpr Rgb kFlaggedColour{250, 210, 210};

struct SubjectMotion {
  std::array<std::vector<double>, 6> parameters;
  std::vector<double> displacement;  // NaN at the first volume
  std::vector<int32_t> flagged;      // 1-based volumes above the threshold
};

// Where the run wrote the subject's motion truth: beside its native files, or
// among a dataset's derivatives beside its design table.
fs::path motionTruthOf(const StudyRun& run, const SubjectFiles& subject) {
  if (run.layout == RunLayout::Native) return run.root / (subject.name + "_truth_motion.tsv");
  const std::string bold = subject.data.filename().string();
  return run.root / "derivatives" / "cohortix" / subject.name / "func" /
         (bold.substr(0, bold.find("_bold.nii")) + "_desc-motion_timeseries.tsv");
}

Result<SubjectMotion> readMotion(const ReportContext& context, const fs::path& file) {
  Result<std::string> text = context.disk.readFile(file);
  if (!text) return text.status().context("cannot read " + file.string());
  std::vector<std::string> required(kParameters.begin(), kParameters.end());
  required.emplace_back("framewise_displacement");
  Result<TsvTable> table = TsvTable::parse(text.value(), file.string(), required);
  if (!table) return table.status();
  if (static_cast<int64_t>(table->rows()) != context.series.volumes)
    return Status::error(file.string() + ": expected " + std::to_string(context.series.volumes) +
                         " rows, one per volume, found " + std::to_string(table->rows()));
  SubjectMotion motion;
  for (std::size_t r = 0; r < table->rows(); ++r) {
    for (std::size_t p = 0; p < kParameters.size(); ++p) {
      Result<double> value = table->number(r, kParameters[p], false);
      if (!value) return value.status();
      motion.parameters[p].push_back(value.value());
    }
    Result<double> fd = table->number(r, "framewise_displacement", true);
    if (!fd) return fd.status();
    motion.displacement.push_back(fd.value());
    if (fd.value() > context.inputs.fdThresholdMm) motion.flagged.push_back(static_cast<int32_t>(r + 1));
  }
  return motion;
}

LinePlot volumePlot(const ReportContext& context, const std::string& title, const std::string& yTitle,
                    const SubjectMotion& motion) {
  LinePlot plot(title, 960, 190);
  plot.setXAxis("volume", 1, context.series.volumes);
  plot.setXWholeNumbers();
  plot.setYAxis(yTitle);
  for (const int32_t volume : motion.flagged) plot.addBand({volume - 0.5, volume + 0.5, kFlaggedColour});
  return plot;
}

std::vector<double> volumeNumbers(std::size_t first, std::size_t count) {
  std::vector<double> x;
  for (std::size_t v = first; v <= count; ++v) x.push_back(static_cast<double>(v));
  return x;
}

// Translations in mm, rotations in degrees, and the displacement with its threshold.
std::string motionFigure(const ReportContext& context, const SubjectFiles& subject, const SubjectMotion& motion) {
  const std::size_t n = motion.displacement.size();
  const std::string threshold = shortText(context.inputs.fdThresholdMm, 3);
  LinePlot translations = volumePlot(context, "Translations of " + subject.name, "translation (mm)", motion);
  LinePlot rotations = volumePlot(context, "Rotations of " + subject.name, "rotation (degrees)", motion);
  for (std::size_t axis = 0; axis < 3; ++axis) {
    const std::string name(1, static_cast<char>('x' + axis));
    translations.addSeries({name, volumeNumbers(1, n), motion.parameters[axis], kAxisColours[axis]});
    std::vector<double> degrees = motion.parameters[axis + 3];
    for (double& value : degrees) value *= 180.0 / std::numbers::pi;
    rotations.addSeries({"about " + name, volumeNumbers(1, n), degrees, kAxisColours[axis]});
    translations.addLegend({name, kAxisColours[axis]});
    rotations.addLegend({name, kAxisColours[axis]});
  }
  LinePlot displacement = volumePlot(context, "Framewise displacement of " + subject.name, "FD (mm)", motion);
  displacement.addSeries({"FD", volumeNumbers(2, n),
                          std::vector<double>(motion.displacement.begin() + 1, motion.displacement.end()),
                          kDisplacementColour});
  displacement.addSeries({"threshold", {1.0, static_cast<double>(n)},
                          {context.inputs.fdThresholdMm, context.inputs.fdThresholdMm}, kThresholdColour, 1.0, true});
  displacement.addLegend({"FD", kDisplacementColour});
  displacement.addLegend({"flagged", kFlaggedColour, true});
  displacement.addLegend({"threshold", kThresholdColour, false, true});
  return "<figure class=\"motion\" data-subject=\"" + htmlText(subject.name) + "\">" + translations.svg() +
         rotations.svg() + displacement.svg() + "<figcaption>Head motion of " + htmlText(subject.name) + ": " +
         std::to_string(motion.flagged.size()) + " volumes with FD above " + threshold +
         " mm, shaded.</figcaption></figure>";
}

std::vector<std::string> summaryRow(const SubjectFiles& subject, const SubjectMotion& motion) {
  double sum = 0, largest = 0;
  for (std::size_t t = 1; t < motion.displacement.size(); ++t)
    sum += motion.displacement[t], largest = std::max(largest, motion.displacement[t]);
  const double mean = motion.displacement.size() > 1 ? sum / static_cast<double>(motion.displacement.size() - 1) : 0;
  std::string volumes;
  for (const int32_t volume : motion.flagged) volumes += (volumes.empty() ? "" : " ") + std::to_string(volume);
  return {htmlText(subject.name), fixedText(mean, 3), fixedText(largest, 3), std::to_string(motion.flagged.size()),
          volumes.empty() ? "none" : volumes};
}

}  // namespace

Result<std::optional<Section>> motionSection(const ReportContext& context) {
  std::error_code error;
  const auto hasMotion = [&](const SubjectFiles& subject) {
    return fs::exists(motionTruthOf(context.run, subject), error);
  };
  if (std::none_of(context.run.subjects.begin(), context.run.subjects.end(), hasMotion)) return std::optional<Section>();
  const std::string threshold = shortText(context.inputs.fdThresholdMm, 3);
  std::vector<std::vector<std::string>> rows;
  std::string figures;
  for (const SubjectFiles& subject : context.run.subjects) {
    Result<SubjectMotion> motion = readMotion(context, motionTruthOf(context.run, subject));
    if (!motion) return subjectFailure(context, subject, motion.status());
    rows.push_back(summaryRow(subject, motion.value()));
    figures += motionFigure(context, subject, motion.value());
  }
  const std::string body =
      "<p>Each subject's head pose per volume as the run moved it (the motion truth: translations in mm, "
      "rotations in degrees, from the head at rest in the first volume) and its framewise displacement (FD, "
      "Power et al. 2012: the sum of the six parameters' absolute changes from the volume before, rotations as "
      "arcs at 50 mm). Volumes with FD above " + threshold +
      " mm (the report's --fd-threshold) are shaded.</p>" +
      htmlTable({"Subject", "Mean FD (mm)", "Largest FD (mm)", "Volumes with FD &gt; " + threshold + " mm",
                 "Those volumes"},
                rows, "Head motion per subject, FD threshold " + threshold + " mm", "numbers") +
      figures;
  return std::optional<Section>(Section{
      "motion", "Head motion",
      "Slow drifts and sudden moves should be small next to the voxels; the shaded volumes are those a "
      "censoring step at this threshold would remove.",
      body});
}

}  // namespace cohortix::host
