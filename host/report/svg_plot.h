#pragma once
// The report's plots as inline SVG: vector, crisp at any zoom, text searchable.
// A LinePlot has axes with "nice" ticks and titles that name units, shaded bands
// behind (a protocol's trials), lines in front, and a legend. The pieces (scales,
// ticks, axes) serve the other figures too.

#include <string>
#include <vector>

#include "host/report/png_image.h"

namespace cohortix::host {

// Maps the domain [domainMin, domainMax] linearly onto [rangeMin, rangeMax] (a
// degenerate domain maps to the middle of the range).
struct LinearScale {
  double domainMin = 0, domainMax = 1, rangeMin = 0, rangeMax = 1;
  double operator()(double value) const;
};

// Round values (steps of 1, 2, 2.5 or 5 times a power of ten) covering [min, max],
// about `count` of them; empty for an empty or non-finite range.
std::vector<double> niceTicks(double min, double max, int count);

// Tick labels for these ticks: as many decimals as their step needs.
std::string tickText(double value, const std::vector<double>& ticks);

// Coordinates in the SVG, to one decimal.
std::string svgNumber(double value);

// <svg> opening with width, height, viewBox, role="img" and an accessible <title>.
std::string svgOpen(int width, int height, const std::string& title);

// An axis line along the plot's bottom edge (at pixel y) or left edge (at pixel x),
// with its ticks, their labels and the axis title centred under or beside it.
// wholeNumbers: only the ticks at whole numbers (counts, such as subjects).
std::string bottomAxis(const LinearScale& x, double y, const std::string& title, bool wholeNumbers = false);
std::string leftAxis(const LinearScale& y, double x, const std::string& title);

struct PlotSeries {
  std::string label;
  std::vector<double> x;
  std::vector<double> y;
  Rgb colour;
  double width = 1.5;
  bool dashed = false;
  // An interval around each point, drawn as an error bar (empty: none), and a dot
  // on each point: for estimates at a few x values.
  std::vector<double> low = {};
  std::vector<double> high = {};
  bool dots = false;
};

struct PlotBand {
  double from = 0;  // x, domain units
  double to = 0;
  Rgb colour;
};

struct LegendEntry {
  std::string label;
  Rgb colour;
  bool swatch = false;  // a filled square (bands) rather than a line
  bool dashed = false;
};

class LinePlot {
 public:
  LinePlot(std::string title, int width, int height);
  void setXAxis(std::string title, double min, double max);
  // Ticks on the x axis at whole numbers only.
  void setXWholeNumbers() { xWhole_ = true; }
  // Without a y range the plot spans its series, padded by a twentieth.
  void setYAxis(std::string title);
  void setYRange(double min, double max);
  void addBand(PlotBand band) { bands_.push_back(band); }
  void addSeries(PlotSeries series) { series_.push_back(std::move(series)); }
  void addLegend(LegendEntry entry) { legend_.push_back(std::move(entry)); }
  std::string svg() const;

 private:
  std::string title_;
  int width_;
  int height_;
  std::string xTitle_, yTitle_;
  double xMin_ = 0, xMax_ = 1;
  bool xWhole_ = false;
  bool hasYRange_ = false;
  double yMin_ = 0, yMax_ = 1;
  std::vector<PlotBand> bands_;
  std::vector<PlotSeries> series_;
  std::vector<LegendEntry> legend_;
};

}  // namespace cohortix::host
