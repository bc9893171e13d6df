#include "host/formats/prt_format.h"

#include <cstdint>
#include <limits>

#include "host/formats/quoted_text.h"
#include "host/formats/text_lines.h"

namespace cohortix::host {
namespace {

constexpr int kProtocolFileVersion = 1;
constexpr long long kInt32Min = std::numeric_limits<int32_t>::min();
constexpr long long kInt32Max = std::numeric_limits<int32_t>::max();

void formatCondition(const ProtocolCondition& condition, std::string& out) {
  const ColorComponents c = splitColor(condition.color);
  out += "\nCondition: " + quoteText(condition.name) + "\n";
  out += "Color: " + std::to_string(c.red) + " " + std::to_string(c.green) + " " +
         std::to_string(c.blue) + "\n";
  out += "NrOfIntervals: " + std::to_string(condition.intervals.size()) + "\n";
  for (const ProtocolInterval& interval : condition.intervals)
    out += std::to_string(interval.first) + " " + std::to_string(interval.last) + "\n";
}

int32_t parseColor(TextLines& lines) {
  const std::vector<std::string_view> tokens = splitTokens(lines.field("Color"));
  long long red = 0, green = 0, blue = 0;
  const bool ok = tokens.size() == 3 && parseInteger(tokens[0], -32768, 32767, &red) &&
                  parseInteger(tokens[1], 0, 255, &green) && parseInteger(tokens[2], 0, 255, &blue);
  if (!ok) lines.failOnLine("Color: red green blue (green and blue 0 to 255)");
  return static_cast<int32_t>(red * 65536 + green * 256 + blue);
}

ProtocolInterval parseInterval(TextLines& lines) {
  const std::vector<std::string_view> tokens = splitTokens(lines.next("an interval"));
  long long first = 0, last = 0;
  const bool ok = tokens.size() == 2 && parseInteger(tokens[0], kInt32Min, kInt32Max, &first) &&
                  parseInteger(tokens[1], kInt32Min, kInt32Max, &last);
  if (!ok) lines.failOnLine("an interval: first and last volume");
  return {static_cast<int32_t>(first), static_cast<int32_t>(last)};
}

ProtocolCondition parseCondition(TextLines& lines) {
  ProtocolCondition condition;
  condition.name = lines.textField("Condition");
  condition.color = parseColor(lines);
  const long long count = lines.integerField("NrOfIntervals", 0, kInt32Max);
  for (long long i = 0; i < count && lines.ok(); ++i) condition.intervals.push_back(parseInterval(lines));
  return condition;
}

}  // namespace

std::string formatProtocol(const ProtocolDocument& protocol) {
  std::string out = "# Cohortix stimulation protocol\n";
  out += "FileVersion: " + std::to_string(kProtocolFileVersion) + "\n";
  out += "FileName: " + quoteText(protocol.fileName) + "\n";
  out += "ExperimentName: " + quoteText(protocol.experimentName) + "\n";
  out += "TimeResolution: " + std::to_string(protocol.timeResolution) + "\n";
  out += "NrOfConditions: " + std::to_string(protocol.conditions.size()) + "\n";
  for (const ProtocolCondition& condition : protocol.conditions) formatCondition(condition, out);
  return out;
}

Result<ProtocolDocument> parseProtocol(std::string_view text, const std::string& fileName) {
  TextLines lines(text, fileName);
  lines.integerField("FileVersion", kProtocolFileVersion, kProtocolFileVersion);
  ProtocolDocument protocol;
  protocol.fileName = lines.textField("FileName");
  protocol.experimentName = lines.textField("ExperimentName");
  protocol.timeResolution = static_cast<int32_t>(lines.integerField("TimeResolution", kInt32Min, kInt32Max));
  const long long count = lines.integerField("NrOfConditions", 0, kInt32Max);
  for (long long i = 0; i < count && lines.ok(); ++i) protocol.conditions.push_back(parseCondition(lines));
  lines.expectEnd();
  if (!lines.ok()) return lines.status();
  return protocol;
}

}  // namespace cohortix::host
