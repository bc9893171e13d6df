#include "host/report/palette.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "control/condition_names.h"

namespace cohortix::host {
namespace {

constexpr std::array<Rgb, 8> kOkabeIto = {{
    {230, 159, 0},    // orange
    {86, 180, 233},   // sky blue
    {0, 158, 115},    // bluish green
    {0, 114, 178},    // blue
    {213, 94, 0},     // vermillion
    {204, 121, 167},  // reddish purple
    {240, 228, 66},   // yellow
    {0, 0, 0},        // black
}};

uint8_t clampComponent(long long value) {
  return static_cast<uint8_t>(std::clamp<long long>(value, 0, 255));
}

bool isBlack(Rgb colour) { return colour == Rgb{}; }

}  // namespace

Rgb paletteColour(int index) {
  const int size = static_cast<int>(kOkabeIto.size());
  return kOkabeIto[static_cast<std::size_t>(((index % size) + size) % size)];
}

std::string cssColour(Rgb colour) {
  char text[8];
  std::snprintf(text, sizeof text, "#%02x%02x%02x", colour.red, colour.green, colour.blue);
  return text;
}

Rgb clampedColour(long long red, long long green, long long blue) {
  return {clampComponent(red), clampComponent(green), clampComponent(blue)};
}

StudyColours studyColours(const SimulationDesign& design) {
  StudyColours colours;
  // Shades for the second, third, ... cell of one colour.
  static constexpr std::array<std::pair<double, const char*>, 4> kShades = {{
      {0.5, "the study's, lighter"}, {-0.4, "the study's, darker"},
      {0.75, "the study's, much lighter"}, {-0.65, "the study's, much darker"}}};
  std::vector<Rgb> given;
  for (int32_t cell = 0; cell < design.NrOfWithinCells; ++cell) {
    const CellColor components = cellColor(design, cell);
    const Rgb colour = clampedColour(components.Red, components.Green, components.Blue);
    const auto earlier = static_cast<std::size_t>(std::count(given.begin(), given.end(), colour));
    given.push_back(colour);
    if (isBlack(colour) || earlier > kShades.size()) {
      colours.cells.push_back(paletteColour(cell));
      colours.cellOrigin.push_back("none given: palette");
    } else if (earlier == 0) {
      colours.cells.push_back(colour);
      colours.cellOrigin.push_back("the study's");
    } else {
      colours.cells.push_back(shaded(colour, kShades[earlier - 1].first));
      colours.cellOrigin.push_back(kShades[earlier - 1].second);
    }
  }
  for (int f = 0; f < std::clamp(design.NrOfWithinFactors, 0, kMaxWithinFactors); ++f) {
    const DesignFactor& factor = design.WithinFactors[f];
    for (int32_t l = 0; l < std::clamp(factor.NrOfLevels, 0, kMaxLevels); ++l) {
      const DesignLevel& level = factor.Levels[l];
      colours.levels[f].push_back(clampedColour(level.ColorR, level.ColorG, level.ColorB));
    }
  }
  const bool hasGroupFactor = design.NrOfBetweenFactors > 0;
  for (int32_t g = 0; g < design.NrOfGroups; ++g) {
    Rgb colour{};
    if (hasGroupFactor && g < kMaxLevels) {
      const DesignLevel& level = design.BetweenFactors[0].Levels[g];
      colour = clampedColour(level.ColorR, level.ColorG, level.ColorB);
    }
    colours.groupGiven.push_back(!isBlack(colour));
    colours.groups.push_back(isBlack(colour) ? paletteColour(g) : colour);
  }
  for (int32_t r = 0; r < design.NrOfRegions; ++r) colours.regions.push_back(paletteColour(r));
  return colours;
}

Rgb shaded(Rgb colour, double amount) {
  const double target = amount > 0 ? 255.0 : 0.0;
  const double weight = std::min(std::fabs(amount), 1.0);
  const auto mix = [&](uint8_t component) {
    return static_cast<uint8_t>(std::lround(component + (target - component) * weight));
  };
  return {mix(colour.red), mix(colour.green), mix(colour.blue)};
}

Rgb viridis(double t) {
  static constexpr std::array<Rgb, 11> kStops = {{
      {68, 1, 84}, {72, 36, 117}, {65, 68, 135}, {53, 95, 141}, {42, 120, 142}, {33, 145, 140},
      {34, 168, 132}, {68, 190, 112}, {122, 209, 81}, {189, 223, 38}, {253, 231, 37},
  }};
  if (std::isnan(t)) t = 0.0;
  const double position = std::clamp(t, 0.0, 1.0) * (kStops.size() - 1);
  const auto below = std::min(static_cast<std::size_t>(position), kStops.size() - 2);
  const double fraction = position - static_cast<double>(below);
  const auto mix = [fraction](uint8_t a, uint8_t b) {
    return static_cast<uint8_t>(std::lround(a + (b - a) * fraction));
  };
  const Rgb& a = kStops[below];
  const Rgb& b = kStops[below + 1];
  return {mix(a.red, b.red), mix(a.green, b.green), mix(a.blue, b.blue)};
}

}  // namespace cohortix::host
