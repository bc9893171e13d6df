#pragma once
// The host's current stimulation protocol: a header and its conditions, each with
// a name, a colour and intervals of 1-based volume numbers, inclusive at both ends.
// The host keeps intervals exactly as given: one whose last volume is one below its
// first is a valid empty interval, and bounds outside the run are clipped only when
// a predictor is made from them.

#include <cstdint>
#include <string>
#include <vector>

namespace cohortix::host {

struct ProtocolInterval {
  int32_t first = 0;
  int32_t last = 0;
  bool operator==(const ProtocolInterval&) const = default;
};

struct ProtocolCondition {
  std::string name;
  int32_t color = 0;  // red * 65536 + green * 256 + blue
  std::vector<ProtocolInterval> intervals;
  bool operator==(const ProtocolCondition&) const = default;
};

struct ProtocolDocument {
  std::string fileName;
  std::string experimentName;
  int32_t timeResolution = 1;  // 1: interval bounds are volume numbers
  std::vector<ProtocolCondition> conditions;
  bool operator==(const ProtocolDocument&) const = default;

  // The last volume that any interval reaches; 0 for a protocol without intervals.
  int32_t extent() const;
};

// A packed colour split so that red * 65536 + green * 256 + blue gives it back:
// green and blue in 0..255, red whatever remains (above 255 or negative when the
// plug-in packed components outside 0..255).
struct ColorComponents {
  int32_t red = 0;
  int32_t green = 0;
  int32_t blue = 0;
};
ColorComponents splitColor(int32_t color);

}  // namespace cohortix::host
