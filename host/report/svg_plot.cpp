#include "host/report/svg_plot.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "host/report/html_text.h"
#include "host/report/number_text.h"
#include "host/report/palette.h"

namespace cohortix::host {
namespace {

constexpr double kLeft = 66, kRight = 14, kTop = 28, kBottom = 42;

int decimalsOf(double step) {
  if (!(step > 0)) return 0;
  int decimals = std::max(0, static_cast<int>(std::ceil(-std::log10(step) - 1e-9)));
  // A step of 2.5 x 10^k needs one digit more than 10^k.
  const double scaled = step * std::pow(10.0, decimals);
  if (std::fabs(scaled - std::round(scaled)) > 1e-6) ++decimals;
  return decimals;
}

std::string textElement(double x, double y, const std::string& anchor, const std::string& text,
                        const std::string& extra = "") {
  return "<text x=\"" + svgNumber(x) + "\" y=\"" + svgNumber(y) + "\" text-anchor=\"" + anchor +
         "\"" + extra + ">" + htmlText(text) + "</text>";
}

// At most about four points per pixel column: beyond that a line is drawn as the
// minimum and maximum of each column, which looks the same and stays small.
std::vector<std::pair<double, double>> drawnPoints(const PlotSeries& series, const LinearScale& x,
                                                   const LinearScale& y, double width) {
  std::vector<std::pair<double, double>> points;
  const std::size_t count = std::min(series.x.size(), series.y.size());
  const bool decimate = static_cast<double>(count) > 4 * width;
  std::size_t i = 0;
  while (i < count) {
    if (!std::isfinite(series.y[i])) {
      ++i;
      continue;
    }
    if (!decimate) {
      points.emplace_back(x(series.x[i]), y(series.y[i]));
      ++i;
      continue;
    }
    const double column = std::floor(x(series.x[i]));
    std::size_t low = i, high = i;
    std::size_t j = i;
    for (; j < count && std::floor(x(series.x[j])) == column; ++j) {
      if (!std::isfinite(series.y[j])) continue;
      if (series.y[j] < series.y[low]) low = j;
      if (series.y[j] > series.y[high]) high = j;
    }
    for (const std::size_t k : {std::min(low, high), std::max(low, high)})
      points.emplace_back(x(series.x[k]), y(series.y[k]));
    i = j;
  }
  return points;
}

// Each finite interval as a vertical bar with short caps, and each point as a dot.
std::string intervalsAndDots(const PlotSeries& series, const LinearScale& x, const LinearScale& y) {
  std::string out;
  const std::string colour = cssColour(series.colour);
  const std::size_t count = std::min(series.x.size(), series.y.size());
  for (std::size_t i = 0; i < count && i < series.low.size() && i < series.high.size(); ++i) {
    if (!std::isfinite(series.low[i]) || !std::isfinite(series.high[i])) continue;
    const std::string px = svgNumber(x(series.x[i]));
    const std::string top = svgNumber(y(series.high[i])), bottom = svgNumber(y(series.low[i]));
    out += "<path class=\"interval\" d=\"M" + px + " " + bottom + "V" + top + "m-3 0h6M" + px + " " + bottom +
           "m-3 0h6\" stroke=\"" + colour + "\" fill=\"none\"/>";
  }
  for (std::size_t i = 0; series.dots && i < count; ++i) {
    if (!std::isfinite(series.y[i])) continue;
    out += "<circle cx=\"" + svgNumber(x(series.x[i])) + "\" cy=\"" + svgNumber(y(series.y[i])) +
           "\" r=\"2.5\" fill=\"" + colour + "\"/>";
  }
  return out;
}

}  // namespace

double LinearScale::operator()(double value) const {
  if (domainMax == domainMin) return (rangeMin + rangeMax) / 2;
  return rangeMin + (value - domainMin) * (rangeMax - rangeMin) / (domainMax - domainMin);
}

std::vector<double> niceTicks(double min, double max, int count) {
  if (!std::isfinite(min) || !std::isfinite(max) || max < min || count < 1) return {};
  if (max == min) return {min};
  const double rough = (max - min) / count;
  const double power = std::pow(10.0, std::floor(std::log10(rough)));
  double step = 10 * power;
  for (const double factor : {1.0, 2.0, 2.5, 5.0}) {
    if (factor * power >= rough) {
      step = factor * power;
      break;
    }
  }
  std::vector<double> ticks;
  const double first = std::ceil(min / step - 1e-9);
  for (double k = first; k * step <= max + step * 1e-9; k += 1) ticks.push_back(k * step);
  return ticks;
}

std::string tickText(double value, const std::vector<double>& ticks) {
  const double step = ticks.size() > 1 ? ticks[1] - ticks[0] : 1.0;
  return fixedText(value, decimalsOf(step));
}

std::string svgNumber(double value) { return shortText(value, 1); }

std::string svgOpen(int width, int height, const std::string& title) {
  return "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(width) +
         "\" height=\"" + std::to_string(height) + "\" viewBox=\"0 0 " + std::to_string(width) +
         " " + std::to_string(height) + "\" role=\"img\"><title>" + htmlText(title) + "</title>";
}

std::string bottomAxis(const LinearScale& x, double y, const std::string& title, bool wholeNumbers) {
  std::string out = "<g class=\"axis\"><path d=\"M" + svgNumber(x.rangeMin) + " " + svgNumber(y) +
                    "H" + svgNumber(x.rangeMax) + "\"/>";
  const double low = std::min(x.domainMin, x.domainMax), high = std::max(x.domainMin, x.domainMax);
  auto ticks = niceTicks(low, high, std::max(3, static_cast<int>(std::fabs(x.rangeMax - x.rangeMin) / 40)));
  if (wholeNumbers) {
    std::erase_if(ticks, [](double tick) { return std::fabs(tick - std::round(tick)) > 1e-9; });
    for (double& tick : ticks) tick = std::round(tick);
  }
  for (const double tick : ticks) {
    const double at = x(tick);
    out += "<path d=\"M" + svgNumber(at) + " " + svgNumber(y) + "v5\"/>";
    out += textElement(at, y + 16, "middle", tickText(tick, ticks));
  }
  if (!title.empty())
    out += textElement((x.rangeMin + x.rangeMax) / 2, y + 32, "middle", title, " class=\"title\"");
  return out + "</g>";
}

std::string leftAxis(const LinearScale& y, double x, const std::string& title) {
  std::string out = "<g class=\"axis\"><path d=\"M" + svgNumber(x) + " " + svgNumber(y.rangeMin) +
                    "V" + svgNumber(y.rangeMax) + "\"/>";
  const double low = std::min(y.domainMin, y.domainMax), high = std::max(y.domainMin, y.domainMax);
  const auto ticks = niceTicks(low, high, std::max(3, static_cast<int>(std::fabs(y.rangeMax - y.rangeMin) / 35)));
  for (const double tick : ticks) {
    const double at = y(tick);
    out += "<path d=\"M" + svgNumber(x) + " " + svgNumber(at) + "h-5\"/>";
    out += textElement(x - 8, at + 4, "end", tickText(tick, ticks));
  }
  if (!title.empty()) {
    const double middle = (y.rangeMin + y.rangeMax) / 2;
    out += textElement(14, middle, "middle", title,
                       " class=\"title\" transform=\"rotate(-90 14 " + svgNumber(middle) + ")\"");
  }
  return out + "</g>";
}

LinePlot::LinePlot(std::string title, int width, int height)
    : title_(std::move(title)), width_(width), height_(height) {}

void LinePlot::setXAxis(std::string title, double min, double max) {
  xTitle_ = std::move(title);
  xMin_ = min;
  xMax_ = max;
}

void LinePlot::setYAxis(std::string title) { yTitle_ = std::move(title); }

void LinePlot::setYRange(double min, double max) {
  hasYRange_ = true;
  yMin_ = min;
  yMax_ = max;
}

std::string LinePlot::svg() const {
  double yMin = yMin_, yMax = yMax_;
  if (!hasYRange_) {
    yMin = std::numeric_limits<double>::infinity();
    yMax = -yMin;
    for (const PlotSeries& series : series_) {
      for (const double v : series.y) {
        if (!std::isfinite(v)) continue;
        yMin = std::min(yMin, v);
        yMax = std::max(yMax, v);
      }
    }
    if (!std::isfinite(yMin)) yMin = 0, yMax = 1;
    const double pad = yMax > yMin ? (yMax - yMin) / 20 : std::max(1.0, std::fabs(yMin) / 100);
    yMin -= pad;
    yMax += pad;
  }
  const LinearScale x{xMin_, xMax_, kLeft, width_ - kRight};
  const LinearScale y{yMin, yMax, height_ - kBottom, kTop};
  std::string out = svgOpen(width_, height_, title_);
  for (const PlotBand& band : bands_) {
    const double from = x(std::max(band.from, xMin_)), to = x(std::min(band.to, xMax_));
    if (to <= from) continue;
    out += "<rect class=\"band\" x=\"" + svgNumber(from) + "\" y=\"" + svgNumber(kTop) +
           "\" width=\"" + svgNumber(to - from) + "\" height=\"" +
           svgNumber(height_ - kTop - kBottom) + "\" fill=\"" + cssColour(band.colour) + "\"/>";
  }
  for (const PlotSeries& series : series_) {
    std::string points;
    for (const auto& [px, py] : drawnPoints(series, x, y, width_ - kLeft - kRight))
      points += (points.empty() ? "" : " ") + svgNumber(px) + "," + svgNumber(py);
    out += "<polyline class=\"series\" data-label=\"" + htmlText(series.label) + "\" points=\"" +
           points + "\" fill=\"none\" stroke=\"" + cssColour(series.colour) +
           "\" stroke-width=\"" + svgNumber(series.width) + "\"" +
           (series.dashed ? " stroke-dasharray=\"5 3\"" : "") + "/>";
    out += intervalsAndDots(series, x, y);
  }
  out += bottomAxis(x, height_ - kBottom, xTitle_, xWhole_);
  out += leftAxis(y, kLeft, yTitle_);
  double at = kLeft;
  for (const LegendEntry& entry : legend_) {
    const std::string colour = cssColour(entry.colour);
    out += entry.swatch ? "<rect x=\"" + svgNumber(at) + "\" y=\"8\" width=\"14\" height=\"10\" "
                                  "class=\"band\" fill=\"" + colour + "\"/>"
                        : "<path d=\"M" + svgNumber(at) + " 13h14\" stroke=\"" + colour +
                              "\" stroke-width=\"2.5\"" +
                              (entry.dashed ? " stroke-dasharray=\"5 3\"" : "") + "/>";
    out += textElement(at + 18, 17, "start", entry.label);
    at += 30 + 6.5 * static_cast<double>(entry.label.size());
  }
  return out + "</svg>";
}

}  // namespace cohortix::host
