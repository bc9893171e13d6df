// The design: every subject's protocol, a design matrix, and each cell's predicted
// response.

#include <algorithm>
#include <cmath>
#include <limits>

#include "control/condition_names.h"
#include "host/report/html_text.h"
#include "host/report/number_text.h"
#include "host/report/report_sections.h"
#include "host/report/subject_files.h"
#include "host/report/svg_plot.h"

namespace cohortix::host {
namespace {


double runSeconds(const ReportContext& context) {
  return volumeStart(context, context.design.NrOfVolumes + 1);
}

Result<std::string> timelines(const ReportContext& context) {
  const SimulationDesign& d = context.design;
  const std::size_t shown = std::min(context.run.subjects.size(), kMaxTimelineSubjects);
  constexpr double left = 76, right = 14, top = 8, row = 16, bottom = 44;
  constexpr int width = 960;
  const int height = static_cast<int>(top + row * static_cast<double>(shown) + bottom);
  const LinearScale x{0, runSeconds(context), left, width - right};
  std::string out = svgOpen(width, height, "Protocol of each subject");
  for (std::size_t i = 0; i < shown; ++i) {
    const SubjectFiles& subject = context.run.subjects[i];
    Result<SubjectTrials> trials = readSubjectTrials(context.run, subject, context.series.repetitionTime, context.disk);
    if (!trials) return subjectFailure(context, subject, trials.status());
    const double y = top + row * static_cast<double>(i);
    const Rgb group = context.colours.groups[static_cast<std::size_t>(subject.g)];
    out += "<rect x=\"4\" y=\"" + svgNumber(y + 3) + "\" width=\"8\" height=\"10\" fill=\"" + cssColour(group) + "\"/>";
    const std::string label = context.run.layout == RunLayout::Native ? "S" + std::to_string(subject.subjectNumber)
                                                                      : subject.name;
    out += "<text x=\"16\" y=\"" + svgNumber(y + 12) + "\"><title>" + htmlText(subject.name) + "</title>" +
           htmlText(label) + "</text>";
    const double activeFrom = volumeStart(context, d.NrOfPreVolumes + 1);
    const double activeTo = volumeStart(context, d.NrOfVolumes - d.NrOfPostVolumes + 1);
    if (d.HasRestPeriods)
      out += "<rect x=\"" + svgNumber(x(activeFrom)) + "\" y=\"" + svgNumber(y + 2) + "\" width=\"" +
             svgNumber(x(activeTo) - x(activeFrom)) + "\" height=\"12\" fill=\"" + cssColour(kRestColour) + "\"/>";
    for (std::size_t cell = 0; cell < trials->size(); ++cell) {
      for (const ProtocolInterval& trial : trials.value()[cell]) {
        if (trial.last < trial.first) continue;
        const double from = x(volumeStart(context, trial.first)), to = x(volumeStart(context, trial.last + 1));
        out += "<rect x=\"" + svgNumber(from) + "\" y=\"" + svgNumber(y + 2) + "\" width=\"" +
               svgNumber(to - from) + "\" height=\"12\" fill=\"" + cssColour(context.colours.cells[cell]) +
               "\" stroke=\"#fff\" stroke-width=\"0.5\"/>";
      }
    }
  }
  out += bottomAxis(x, top + row * static_cast<double>(shown), "time from the first volume (s)");
  out += "</svg>";
  std::string caption = "Each row is one subject's run (the chip left of the name is its group's colour); "
                        "each block one trial in its cell's colour";
  if (shown < context.run.subjects.size())
    caption += "; the first " + std::to_string(shown) + " of " + std::to_string(context.run.subjects.size()) +
               " subjects are shown";
  return "<figure>" + out + cellLegend(context, d.HasRestPeriods) + "<figcaption>" + caption +
         ".</figcaption></figure>";
}

Result<std::string> designMatrixImage(const ReportContext& context, const std::vector<std::vector<float>>& columns,
                                      const std::string& subject) {
  double low = std::numeric_limits<double>::infinity(), high = -low;
  std::size_t volumes = 0;
  for (const auto& column : columns) {
    volumes = std::max(volumes, column.size());
    for (const float v : column)
      if (std::isfinite(v)) low = std::min<double>(low, v), high = std::max<double>(high, v);
  }
  if (columns.empty() || volumes == 0) return std::string("<p>The design matrix has no predictors.</p>");
  if (!(high > low)) high = low + 1;
  RgbImage image(static_cast<int>(columns.size()), static_cast<int>(volumes), {255, 255, 255});
  for (std::size_t c = 0; c < columns.size(); ++c) {
    for (std::size_t t = 0; t < columns[c].size(); ++t) {
      // Darker is larger, as ink on paper.
      const double level = std::isfinite(columns[c][t]) ? (columns[c][t] - low) / (high - low) : 0.0;
      const auto grey = static_cast<uint8_t>(std::lround(255.0 * (1.0 - level)));
      image.at(static_cast<int>(c), static_cast<int>(t)) = {grey, grey, grey};
    }
  }
  Result<std::string> png = encodePng(image);
  if (!png) return png.status();
  const double columnWidth = std::clamp(480.0 / static_cast<double>(columns.size()), 6.0, 48.0);
  constexpr double left = 66, top = 40, matrixHeight = 380, barGap = 30;
  const double matrixWidth = columnWidth * static_cast<double>(columns.size());
  const int width = static_cast<int>(left + matrixWidth + barGap + 110);
  const int height = static_cast<int>(top + matrixHeight + 16);
  std::string out = svgOpen(width, height, "Design matrix of " + subject);
  for (std::size_t c = 0; c < columns.size(); ++c) {
    const double cx = left + columnWidth * static_cast<double>(c);
    const std::string name = conditionName(context.design, static_cast<int32_t>(c));
    out += "<rect x=\"" + svgNumber(cx + 1) + "\" y=\"12\" width=\"" + svgNumber(columnWidth - 2) +
           "\" height=\"22\" fill=\"" + cssColour(context.colours.cells[c]) + "\"><title>" + htmlText(name) +
           "</title></rect>";
    if (columnWidth >= 14)
      out += "<text x=\"" + svgNumber(cx + columnWidth / 2) + "\" y=\"27\" text-anchor=\"middle\" class=\"on-colour\">" +
             std::to_string(c + 1) + "</text>";
  }
  out += "<image x=\"" + svgNumber(left) + "\" y=\"" + svgNumber(top) + "\" width=\"" + svgNumber(matrixWidth) +
         "\" height=\"" + svgNumber(matrixHeight) + "\" preserveAspectRatio=\"none\" href=\"" +
         pngDataUri(png.value()) + "\"/>";
  out += "<rect x=\"" + svgNumber(left) + "\" y=\"" + svgNumber(top) + "\" width=\"" + svgNumber(matrixWidth) +
         "\" height=\"" + svgNumber(matrixHeight) + "\" fill=\"none\" stroke=\"#444\"/>";
  out += leftAxis({0, runSeconds(context), top, top + matrixHeight}, left, "time (s)");
  // The grey scale's key.
  const double barX = left + matrixWidth + barGap;
  out += "<defs><linearGradient id=\"design-grey\" x1=\"0\" y1=\"1\" x2=\"0\" y2=\"0\"><stop offset=\"0\" "
         "stop-color=\"#fff\"/><stop offset=\"1\" stop-color=\"#000\"/></linearGradient></defs>";
  out += "<rect x=\"" + svgNumber(barX) + "\" y=\"" + svgNumber(top) + "\" width=\"14\" height=\"160\" "
         "fill=\"url(#design-grey)\" stroke=\"#444\"/>";
  const LinearScale bar{low, high, top + 160, top};
  std::vector<double> marks = {low, high};
  if (low < 0 && high > 0) marks.push_back(0.0);
  for (const double mark : marks)
    out += "<path d=\"M" + svgNumber(barX + 14) + " " + svgNumber(bar(mark)) + "h5\" stroke=\"#444\"/><text x=\"" +
           svgNumber(barX + 22) + "\" y=\"" + svgNumber(bar(mark) + 4) + "\">" + shortText(mark, 3) + "</text>";
  out += "<text x=\"" + svgNumber(barX) + "\" y=\"" + svgNumber(top + 184) + "\">predictor value</text>";
  out += "</svg>";
  return "<figure>" + out + "<figcaption>The design matrix of " + htmlText(subject) +
         ": one column per cell (numbered as in the legend above), one row per volume, time running down; "
         "darker is a larger value. No constant column: the baseline is not modelled.</figcaption></figure>";
}

std::string cellResponses(const ReportContext& context, const std::vector<std::vector<float>>& columns,
                          const SubjectTrials& trials, const std::string& subject) {
  std::string out = "<div class=\"small-multiples\">";
  for (std::size_t c = 0; c < columns.size(); ++c) {
    const std::string name = conditionName(context.design, static_cast<int32_t>(c));
    LinePlot plot("Predicted response of " + name + " for " + subject, 960, 150);
    plot.setXAxis("time (s)", 0, runSeconds(context));
    plot.setYAxis("predictor");
    const Rgb colour = context.colours.cells[c];
    if (c < trials.size())
      for (const ProtocolInterval& trial : trials[c])
        plot.addBand({volumeStart(context, trial.first), volumeStart(context, trial.last + 1), colour});
    PlotSeries series{name, {}, {}, colour, 2.0, false};
    for (std::size_t t = 0; t < columns[c].size(); ++t) {
      series.x.push_back(volumeStart(context, static_cast<double>(t) + 1));
      series.y.push_back(columns[c][t]);
    }
    plot.addSeries(std::move(series));
    plot.addLegend({std::to_string(c + 1) + ". " + name + ": predicted response", colour, false});
    plot.addLegend({"its trials", colour, true});
    out += "<figure class=\"strip\">" + plot.svg() + "</figure>";
  }
  return out + "</div>";
}

}  // namespace

Result<Section> designSection(const ReportContext& context) {
  Result<std::string> protocols = timelines(context);
  if (!protocols) return protocols.status();
  std::string body = "<h3 id=\"design-protocols\">Protocols</h3>" + protocols.value();
  const SubjectFiles& first = *context.representatives.front();
  Result<std::vector<std::vector<float>>> columns = readSubjectDesign(context.run, first, context.disk);
  if (!columns) return subjectFailure(context, first, columns.status());
  Result<SubjectTrials> trials = readSubjectTrials(context.run, first, context.series.repetitionTime, context.disk);
  if (!trials) return subjectFailure(context, first, trials.status());
  Result<std::string> matrix = designMatrixImage(context, columns.value(), first.name);
  if (!matrix) return matrix.status();
  body += "<h3 id=\"design-matrix\">Design matrix</h3>" + matrix.value();
  body += "<h3 id=\"design-responses\">Predicted response of each cell</h3><p>Each cell's boxcar (1 during its "
          "trials) convolved with the two-gamma haemodynamic response, as " + htmlText(first.name) +
          "'s design matrix holds it. A region's signal is the effect-weighted sum of these curves.</p>" +
          cellResponses(context, columns.value(), trials.value(), first.name);
  return Section{"design", "The design",
                 "Trials should be spread evenly over each run, in a different order for every subject; "
                 "each predicted response should rise about 5 s after its trials start and dip after they end.",
                 body};
}

}  // namespace cohortix::host
