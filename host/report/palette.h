#pragma once
// The colours of the report. Cells take the colours their protocol conditions
// carry; where the study gives none, the colour-blind-safe Okabe-Ito palette
// stands in. Black (0 0 0) counts as "none given": it is what a control file
// writes for a level that needs no colour (groups, mostly), and drawn as black it
// would vanish into the axes. Two cells the study gives the same colour (a factor
// whose levels are all black adds nothing to the sum) are told apart by shade:
// the later one lightened or darkened, so a factor that has colours keeps its hue.
// Regions and absent colours cycle through the palette.

#include <string>
#include <vector>

#include "control/simulation_design.h"
#include "host/report/png_image.h"

namespace cohortix::host {

// Okabe-Ito without black first: orange, sky blue, bluish green, blue, vermillion,
// reddish purple, yellow, then black; index taken modulo 8.
Rgb paletteColour(int index);

// "#rrggbb".
std::string cssColour(Rgb colour);

// A colour as a study gives it: each component clamped to 0..255.
Rgb clampedColour(long long red, long long green, long long blue);

struct StudyColours {
  std::vector<Rgb> cells;           // by cell index
  std::vector<std::string> cellOrigin;  // "the study's", "the study's, lighter", "palette" ...
  std::vector<Rgb> levels[kMaxWithinFactors];  // the within levels as given, clamped
  std::vector<Rgb> groups;          // by group index
  std::vector<bool> groupGiven;
  std::vector<Rgb> regions;         // by region index
};

StudyColours studyColours(const SimulationDesign& design);

// The colour mixed with white (amount > 0) or black (amount < 0), |amount| <= 1.
Rgb shaded(Rgb colour, double amount);

// The viridis colour map at t in [0, 1] (clamped): dark blue to yellow, even in
// lightness and readable without colour vision.
Rgb viridis(double t);

}  // namespace cohortix::host
