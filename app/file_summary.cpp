#include "app/file_summary.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <limits>

#include "app/truth_summary.h"
#include "host/export/decimal_text.h"
#include "host/io/disk_interface.h"
#include "host/formats/prt_format.h"
#include "host/formats/quoted_text.h"
#include "host/formats/rtc_format.h"

namespace cohortix::host {
namespace {

struct ValueRange {
  double min = 0.0;
  double max = 0.0;
  double mean = 0.0;
};

ValueRange rangeOf(const float* values, std::size_t count) {
  if (count == 0) return {};
  ValueRange range{std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(), 0.0};
  double sum = 0.0;
  for (std::size_t i = 0; i < count; ++i) {
    range.min = std::min(range.min, static_cast<double>(values[i]));
    range.max = std::max(range.max, static_cast<double>(values[i]));
    sum += values[i];
  }
  range.mean = sum / static_cast<double>(count);
  return range;
}

std::string rangeText(const ValueRange& range) {
  return "from " + roundedText(range.min) + " to " + roundedText(range.max) + ", mean " + roundedText(range.mean);
}

std::string intervalsText(const std::vector<ProtocolInterval>& intervals) {
  std::string text;
  for (const ProtocolInterval& interval : intervals) {
    text += text.empty() ? "" : ", ";
    text += std::to_string(interval.first) + "-" + std::to_string(interval.last);
  }
  return text;
}

std::string conditionLine(const ProtocolCondition& condition) {
  const ColorComponents c = splitColor(condition.color);
  const std::size_t count = condition.intervals.size();
  std::string line = "  " + quoteText(condition.name) + "  colour " + std::to_string(c.red) + " " +
                     std::to_string(c.green) + " " + std::to_string(c.blue) + ", " +
                     std::to_string(count) + (count == 1 ? " interval" : " intervals");
  return line + (count == 0 ? "" : ": " + intervalsText(condition.intervals)) + "\n";
}

std::string extensionOf(const std::filesystem::path& path) {
  std::string extension = path.extension().string();
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension;
}

}  // namespace

std::string summariseProtocol(const std::string& name, const ProtocolDocument& protocol) {
  std::string text = name + ": stimulation protocol " + quoteText(protocol.experimentName) + ", " +
                     std::to_string(protocol.conditions.size()) + " conditions, time resolution " +
                     std::to_string(protocol.timeResolution) + ", last volume in an interval " +
                     std::to_string(protocol.extent()) + "\n";
  for (const ProtocolCondition& condition : protocol.conditions) text += conditionLine(condition);
  return text;
}

std::string summariseDesignMatrix(const std::string& name, const DesignMatrix& matrix) {
  std::string text = name + ": design matrix, " + std::to_string(matrix.predictors.size()) +
                     " predictors, " + std::to_string(matrix.nrOfVolumes) + " volumes\n";
  for (const Predictor& predictor : matrix.predictors) {
    text += "  " + quoteText(predictor.name) + "  " +
            rangeText(rangeOf(predictor.values.data(), predictor.values.size())) + "\n";
  }
  return text;
}

std::string summariseVTC(const std::string& name, const VTCFile& vtc) {
  const auto& f = vtc.fields;  // offsets 0, 4, ... 48 of the header record
  std::string text = name + ": volume time course, " + std::to_string(vtc.dims.x) + " x " +
                     std::to_string(vtc.dims.y) + " x " + std::to_string(vtc.dims.z) + " voxels, " +
                     std::to_string(vtc.nrOfVolumes()) + " volumes, repetition time " +
                     roundedText(vtc.repetitionTime) + " s\n";
  text += "  box X " + std::to_string(f[5]) + " to " + std::to_string(f[6]) + ", Y " + std::to_string(f[7]) +
          " to " + std::to_string(f[8]) + ", Z " + std::to_string(f[9]) + " to " + std::to_string(f[10]) +
          ", resolution " + std::to_string(f[11]) + ", header code " + std::to_string(f[4]) + "\n";
  text += "  values " + rangeText(rangeOf(vtc.data.data(), vtc.data.size())) + "\n";
  return text;
}

namespace {

// The summary of what parse made of the file, or why it could not.
template <typename Document, typename Summary>
Result<std::string> summaryOf(const Result<Document>& parsed, const std::string& name,
                              Summary summarise) {
  if (!parsed) return parsed.status();
  return summarise(name, parsed.value());
}

}  // namespace

Result<std::string> summariseFile(const std::filesystem::path& path, DiskInterface& disk) {
  const std::string name = path.string();
  const std::string extension = extensionOf(path);
  if (auto image = summariseImageOrTruth(path, disk)) return std::move(*image);
  if (extension != ".prt" && extension != ".rtc" && extension != ".vtc")
    return Status::error(name + ": expected a .prt, .rtc, .vtc, .nii, .nii.gz or truth .json file, found the extension \"" + extension + "\"");
  const Result<std::string> read = disk.readFile(path);
  if (!read) return read.status().context("cannot read " + name);
  const std::string& contents = read.value();
  if (extension == ".prt") return summaryOf(parseProtocol(contents, name), name, summariseProtocol);
  if (extension == ".rtc") return summaryOf(parseDesignMatrix(contents, name), name, summariseDesignMatrix);
  return summaryOf(parseVTCFile(contents, name), name, summariseVTC);
}

}  // namespace cohortix::host
