// The data: time courses at the regions' centres and in a quiet place, against the
// response the truth predicts, and the temporal SNR over the box.

#include <algorithm>
#include <cmath>
#include <limits>

#include "control/cell_index.h"
#include "host/report/html_text.h"
#include "host/report/number_text.h"
#include "host/report/report_sections.h"
#include "host/report/slice_figure.h"
#include "host/report/subject_files.h"
#include "host/report/svg_plot.h"

namespace cohortix::host {
namespace {

constexpr Rgb kDataColour{120, 120, 120};
constexpr Rgb kExpectedColour{0, 0, 0};

struct SubjectData {
  const SubjectFiles* subject = nullptr;
  SubjectTrials trials;
  std::vector<std::vector<float>> design;
  std::optional<SubjectTruth> truth;
  std::vector<VoxelIndex> centres;
  LabelMap labels{VTCDims{}};
  SeriesSummary summary;
  double baseline = 0;      // B: the subject's mean signal level
  bool baselineKnown = false;
};

double median(std::vector<float> values) {
  values.erase(std::remove_if(values.begin(), values.end(), [](float v) { return std::isnan(v); }), values.end());
  if (values.empty()) return NAN;
  const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
  std::nth_element(values.begin(), middle, values.end());
  double m = *middle;
  if (values.size() % 2 == 0) m = (m + *std::max_element(values.begin(), middle)) / 2;
  return m;
}

double meanOf(const std::vector<float>& values) {
  double sum = 0;
  for (const float v : values) sum += v;
  return values.empty() ? NAN : sum / static_cast<double>(values.size());
}

double correlation(const std::vector<float>& a, const std::vector<double>& b) {
  const std::size_t n = std::min(a.size(), b.size());
  double ma = 0, mb = 0;
  for (std::size_t i = 0; i < n; ++i) ma += a[i], mb += b[i];
  ma /= static_cast<double>(n), mb /= static_cast<double>(n);
  double sab = 0, saa = 0, sbb = 0;
  for (std::size_t i = 0; i < n; ++i) {
    sab += (a[i] - ma) * (b[i] - mb);
    saa += (a[i] - ma) * (a[i] - ma);
    sbb += (b[i] - mb) * (b[i] - mb);
  }
  return saa > 0 && sbb > 0 ? sab / std::sqrt(saa * sbb) : NAN;
}

std::string voxelText(const VoxelIndex& v) {
  return "(" + std::to_string(v.X) + ", " + std::to_string(v.Y) + ", " + std::to_string(v.Z) + ")";
}

std::string talairachOf(const ReportContext& context, const VoxelIndex& v) {
  const TalairachAffine a = talairachAffine(context.box);
  const auto mm = [&](int row) { return shortText(a[row][0] * v.X + a[row][1] * v.Y + a[row][2] * v.Z + a[row][3], 1); };
  return "(" + mm(0) + ", " + mm(1) + ", " + mm(2) + ")";
}

// The effect of every cell at a voxel of region `label` - 1.
std::vector<double> effectsAt(const ReportContext& context, const SubjectData& data, int label) {
  const SimulationDesign& d = context.design;
  std::vector<double> effects(static_cast<std::size_t>(d.NrOfWithinCells), 0.0);
  if (label == 0) return effects;
  const auto r = static_cast<std::size_t>(label - 1);
  const int32_t row = effectRow(d, data.subject->g, data.subject->s);
  for (int32_t cell = 0; cell < d.NrOfWithinCells; ++cell) {
    const auto c = static_cast<std::size_t>(cell);
    if (data.truth && r < data.truth->regions.size() && c < data.truth->regions[r].effects.size())
      effects[c] = data.truth->regions[r].effects[c];
    else if (row >= 0 && row < kMaxEffectRows)
      effects[c] = d.EffectTable[r][row][cell];
  }
  return effects;
}

// B + B / 100 x (sum of effect x predictor), with the voxel's own level put in
// for B's place, as each voxel draws its baseline around the subject's.
std::vector<double> expectedCourse(const SubjectData& data, const std::vector<double>& effects,
                                   const std::vector<float>& trace) {
  const std::size_t n = trace.size();
  std::vector<double> response(n, 0.0);
  for (std::size_t c = 0; c < effects.size() && c < data.design.size(); ++c)
    for (std::size_t t = 0; t < n && t < data.design[c].size(); ++t) response[t] += effects[c] * data.design[c][t];
  const double onePercent = data.baseline / 100.0;
  double meanResponse = 0;
  for (const double v : response) meanResponse += v;
  meanResponse /= static_cast<double>(std::max<std::size_t>(n, 1));
  const double level = meanOf(trace) - onePercent * meanResponse;
  std::vector<double> expected(n);
  for (std::size_t t = 0; t < n; ++t) expected[t] = level + onePercent * response[t];
  return expected;
}

std::string timeCourse(const ReportContext& context, const SubjectData& data, const std::string& what,
                       const VoxelIndex& voxel, const std::vector<float>& trace, int label) {
  const std::vector<double> effects = effectsAt(context, data, label);
  const std::vector<double> expected = expectedCourse(data, effects, trace);
  const std::string title = data.subject->name + ", " + what;
  std::string heading = what;
  if (!heading.empty() && heading[0] >= 'a' && heading[0] <= 'z') heading[0] = static_cast<char>(heading[0] - 'a' + 'A');
  LinePlot plot("Time course of " + title, 960, 230);
  plot.setXAxis("time (s)", 0, volumeStart(context, context.design.NrOfVolumes + 1));
  plot.setYAxis("signal");
  for (std::size_t c = 0; c < data.trials.size(); ++c)
    for (const ProtocolInterval& trial : data.trials[c])
      plot.addBand({volumeStart(context, trial.first), volumeStart(context, trial.last + 1), context.colours.cells[c]});
  PlotSeries measured{"data", {}, {}, kDataColour, 1.2, false};
  PlotSeries predicted{"expected", {}, {}, kExpectedColour, 1.8, false};
  for (std::size_t t = 0; t < trace.size(); ++t) {
    const double at = volumeStart(context, static_cast<double>(t) + 1);
    measured.x.push_back(at);
    measured.y.push_back(trace[t]);
    predicted.x.push_back(at);
    predicted.y.push_back(expected[t]);
  }
  plot.addSeries(std::move(measured));
  plot.addSeries(std::move(predicted));
  plot.addLegend({"data", kDataColour, false});
  plot.addLegend({label == 0 ? "expected: the voxel's level, no response" : "expected response", kExpectedColour, false});
  plot.addLegend({"trials, in their cells' colours", {200, 200, 200}, true});
  const double r = correlation(trace, expected);
  std::string caption = htmlText(heading) + ": voxel " + voxelText(voxel) + ", Talairach " + talairachOf(context, voxel) +
                        " mm.";
  if (label != 0) {
    caption += " Effects (percent of the baseline):";
    for (std::size_t c = 0; c < effects.size(); ++c)
      caption += (c == 0 ? " " : ", ") + shortText(effects[c], 2);
    caption += std::string(data.truth ? " (the subject's own, from its truth file)." : " (the study's table for this subject's row).");
    caption += " Correlation of data and expected response: r = " + fixedText(r, 3) + ".";
  }
  return "<figure class=\"course\" data-voxel=\"" + std::to_string(voxel.X) + " " + std::to_string(voxel.Y) + " " +
         std::to_string(voxel.Z) + "\">" + plot.svg() + "<figcaption>" + caption + "</figcaption></figure>";
}

std::string colourBar(double maximum, const std::string& title) {
  std::string out = svgOpen(320, 60, title);
  out += "<defs><linearGradient id=\"tsnr-scale\">";
  for (int i = 0; i <= 10; ++i)
    out += "<stop offset=\"" + shortText(i / 10.0, 1) + "\" stop-color=\"" + cssColour(viridis(i / 10.0)) + "\"/>";
  out += "</linearGradient></defs><rect x=\"20\" y=\"6\" width=\"280\" height=\"14\" fill=\"url(#tsnr-scale)\"/>";
  out += bottomAxis({0, maximum, 20, 300}, 20, "");
  out += "<text x=\"160\" y=\"56\" text-anchor=\"middle\" class=\"title\">" + htmlText(title) + "</text>";
  return out + "</svg>";
}

Result<std::string> snrFigures(const ReportContext& context, const SubjectData& data) {
  const SeriesSummary& s = data.summary;
  std::vector<float> snr(s.mean.size());
  for (std::size_t v = 0; v < snr.size(); ++v)
    snr[v] = s.sd[v] > 0 ? s.mean[v] / s.sd[v] : std::numeric_limits<float>::infinity();
  std::vector<float> finite;
  for (const float v : snr)
    if (std::isfinite(v)) finite.push_back(v);
  double top = 1;
  if (!finite.empty()) {
    const auto at = finite.begin() + static_cast<std::ptrdiff_t>((finite.size() - 1) * 99 / 100);
    std::nth_element(finite.begin(), at, finite.end());
    const std::vector<double> ticks = niceTicks(0, std::max<double>(*at, 1e-6), 4);
    top = ticks.size() > 1 ? ticks.back() + (ticks[1] - ticks[0]) * (ticks.back() < *at) : 1;
  }
  const VTCDims dims = s.header.dims;
  // Through the first region inside the box, where the response lowers the tSNR;
  // through the box's middle when there is none.
  VoxelIndex middle{dims.x / 2, dims.y / 2, dims.z / 2};
  for (const VoxelIndex& centre : data.centres) {
    if (data.labels.contains(centre)) {
      middle = centre;
      break;
    }
  }
  // Over the subject's anatomy, when the run has one, the tSNR a little see-through.
  Result<AnatomyBackground> anatomy = subjectAnatomy(context.run, *data.subject, context.box);
  if (!anatomy) return anatomy.status();
  const auto colourOf = [&](const VoxelIndex& v) {
    const std::size_t voxel = data.labels.linear(v);
    const float value = snr[voxel];
    return overAnatomy(anatomy.value(), voxel, viridis(std::isfinite(value) ? value / top : 1.0), 0.7);
  };
  std::string out = "<div class=\"slices\">";
  for (const SliceView& view : orthogonalViews(middle)) {
    Result<std::string> figure = sliceFigure(view, context.box, dims, sliceImage(view, dims, colourOf),
                                             data.subject->name + " temporal SNR", {});
    if (!figure) return figure.status();
    out += figure.value();
  }
  out += "</div>" + colourBar(top, "temporal SNR (mean / SD over the run)");
  // The numbers: outside every region, and inside each.
  std::vector<std::vector<float>> byLabel(context.centres.size() + 1);
  std::vector<float> outsideSd;
  for (std::size_t v = 0; v < snr.size(); ++v) {
    byLabel[data.labels.labels()[v]].push_back(snr[v]);
    if (data.labels.labels()[v] == 0) outsideSd.push_back(s.sd[v]);
  }
  const double noise = context.design.NoiseSDPercent;
  std::vector<std::vector<std::string>> rows;
  rows.push_back({"outside every region", std::to_string(byLabel[0].size()), fixedText(median(byLabel[0]), 1),
                  noise > 0 ? fixedText(100.0 / noise, 1) : "inf",
                  fixedText(100.0 * median(outsideSd) / data.baseline, 3)});
  for (std::size_t r = 1; r < byLabel.size(); ++r)
    rows.push_back({"region " + std::to_string(r), std::to_string(byLabel[r].size()), fixedText(median(byLabel[r]), 1),
                    "lower: the response adds to the SD", ""});
  return "<figure>" + out + "<figcaption>Temporal SNR of " + htmlText(data.subject->name) +
         " on three slices through the centre of the first region in the box, or the box's middle without one "
         "(infinite where a voxel does not vary)" +
         (anatomy->empty() ? std::string(".") : std::string(", over the subject's anatomy.")) +
         "</figcaption></figure>" +
         htmlTable({"Voxels", "Count", "Median tSNR", "Expected tSNR", "Noise SD, % of baseline"}, rows,
                   "Temporal SNR of " + htmlText(data.subject->name) + ": outside the regions it should be about 100 / " +
                       shortText(noise, 3) + " %, the noise the control file asks for",
                   "numbers");
}

Result<SubjectData> loadSubject(const ReportContext& context, const SubjectFiles& subject) {
  SubjectData data;
  data.subject = &subject;
  Result<SubjectTrials> trials = readSubjectTrials(context.run, subject, context.series.repetitionTime, context.disk);
  if (!trials) return trials.status();
  data.trials = std::move(trials).value();
  Result<std::vector<std::vector<float>>> design = readSubjectDesign(context.run, subject, context.disk);
  if (!design) return design.status();
  data.design = std::move(design).value();
  data.centres = context.centres;
  data.labels = context.labels;
  if (context.inputs.truth != nullptr) {
    Result<std::optional<SubjectTruth>> truth = context.inputs.truth->subjectTruth(subject);
    if (!truth) return truth.status();
    data.truth = std::move(truth).value();
    if (data.truth) {
      for (std::size_t r = 0; r < data.truth->regions.size() && r < data.centres.size(); ++r)
        data.centres[r] = data.truth->regions[r].centre;
      data.labels = regionLabelMap(context.design, context.series.dims, data.centres);
    }
    Result<std::optional<LabelMap>> labels = context.inputs.truth->subjectLabelMap(subject);
    if (!labels) return labels.status();
    if (labels.value() && labels.value()->dims() == context.series.dims) data.labels = std::move(*labels.value());
  }
  return data;
}

Result<std::string> subjectData(const ReportContext& context, const SubjectFiles& subject) {
  Result<SubjectData> loaded = loadSubject(context, subject);
  if (!loaded) return loaded.status();
  SubjectData& data = loaded.value();
  // The voxels to follow: each region's centre inside the box, then the quiet one.
  std::vector<std::size_t> numbers;
  std::vector<std::size_t> regionOfTrace;
  for (std::size_t r = 0; r < data.centres.size(); ++r) {
    if (!data.labels.contains(data.centres[r])) continue;
    numbers.push_back(data.labels.linear(data.centres[r]));
    regionOfTrace.push_back(r);
  }
  const VoxelIndex quiet = quietVoxel(context.design, data.labels, data.centres);
  numbers.push_back(data.labels.linear(quiet));
  Result<SeriesSummary> summary = summariseSeries(subject.data, numbers);
  if (!summary) return summary.status();
  data.summary = std::move(summary).value();
  if (!(data.summary.header.dims == context.series.dims) || data.summary.header.volumes != context.design.NrOfVolumes)
    return Status::error(subject.data.string() + " does not belong to the study of the control file: its box or "
                         "number of volumes differs from the first subject's");
  if (data.truth && data.truth->baseline > 0) {
    data.baseline = data.truth->baseline;
  } else {
    std::vector<float> outside;
    for (std::size_t v = 0; v < data.summary.mean.size(); ++v)
      if (data.labels.labels()[v] == 0) outside.push_back(data.summary.mean[v]);
    data.baseline = outside.empty() ? meanOf(data.summary.mean) : meanOf(outside);
  }
  std::string out = "<h3 id=\"data-" + htmlIdFragment(subject.name) + "\">" + htmlText(subject.name) + " (group " +
                    std::to_string(subject.groupNumber) + ")</h3>";
  out += "<p>Baseline " + fixedText(data.baseline, 1) +
         (data.truth ? " (from the subject's truth file)" : " (mean of the voxels outside every region)") +
         "; one percent of it is the unit of the effects and the noise.</p>";
  for (std::size_t i = 0; i < regionOfTrace.size(); ++i) {
    const std::size_t r = regionOfTrace[i];
    const int label = data.labels.label(data.centres[r]);
    std::string what = "centre of region " + std::to_string(r + 1);
    if (label != 0 && static_cast<std::size_t>(label) != r + 1)
      what += " (covered by region " + std::to_string(label) + ", written after it)";
    out += timeCourse(context, data, what, data.centres[r], data.summary.traces[i], label);
  }
  for (std::size_t r = 0; r < data.centres.size(); ++r)
    if (!data.labels.contains(data.centres[r]))
      out += "<p>The centre of region " + std::to_string(r + 1) + " lies outside the box: no time course.</p>";
  out += timeCourse(context, data, "a voxel far from every region", quiet, data.summary.traces.back(), 0);
  Result<std::string> snr = snrFigures(context, data);
  if (!snr) return snr.status();
  out += snr.value();
  if (context.inputs.noiseStats != nullptr) {
    Result<std::optional<FigureTable>> noise = context.inputs.noiseStats->subjectNoise(subject);
    if (!noise) return noise.status();
    if (noise.value()) {
      const FigureTable& table = *noise.value();
      std::vector<std::vector<std::string>> rows;
      for (const auto& row : table.rows) {
        rows.emplace_back();
        for (const std::string& cell : row) rows.back().push_back(htmlText(cell));
      }
      std::vector<std::string> header;
      for (const std::string& cell : table.header) header.push_back(htmlText(cell));
      out += "<p class=\"hint\">" + htmlText(table.explanation) + "</p>" +
             htmlTable(header, rows, htmlText(table.title), "numbers");
    }
  }
  return out;
}

}  // namespace

Result<Section> dataSection(const ReportContext& context) {
  std::string body = "<p>Subjects shown: the first of each group";
  if (context.representatives.size() == kMaxRepresentativeSubjects)
    body += " (at most " + std::to_string(kMaxRepresentativeSubjects) + ")";
  body += ". Behind each time course its trials, in the cells' colours:</p>" +
          cellLegend(context, false);
  for (const SubjectFiles* subject : context.representatives) {
    Result<std::string> part = subjectData(context, *subject);
    if (!part) return subjectFailure(context, *subject, part.status());
    body += part.value();
  }
  return Section{"data", "The data",
                 "At a region's centre the data should follow the expected response, rising with its trials; "
                 "far from every region they should stay flat around the baseline; the temporal SNR should be "
                 "even outside the regions and match the noise the study asks for.",
                 body};
}

}  // namespace cohortix::host
