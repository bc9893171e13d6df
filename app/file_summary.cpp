#include "app/file_summary.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

#include "app/record_summary.h"
#include "app/truth_summary.h"
#include "host/export/decimal_text.h"
#include "host/io/disk_interface.h"
#include "host/formats/prt_format.h"
#include "host/formats/quoted_text.h"
#include "host/formats/rtc_format.h"
#include "host/record/run_recorder.h"
#include "host/session/memory_budget.h"

namespace cohortix::host {
namespace {

struct ValueRange {
  double min = 0.0;
  double max = 0.0;
  double mean = 0.0;
};

// The range of values that arrive in pieces, summed in their order.
class RangeAccumulator {
 public:
  void add(const float* values, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
      min_ = std::min(min_, static_cast<double>(values[i]));
      max_ = std::max(max_, static_cast<double>(values[i]));
      sum_ += values[i];
    }
    count_ += count;
  }
  ValueRange range() const {
    if (count_ == 0) return {};
    return {min_, max_, sum_ / static_cast<double>(count_)};
  }

 private:
  double min_ = std::numeric_limits<double>::infinity();
  double max_ = -std::numeric_limits<double>::infinity();
  double sum_ = 0.0;
  uint64_t count_ = 0;
};

std::string vtcSummaryText(const std::string& name, const VTCFile& vtc, const ValueRange& values);

ValueRange rangeOf(const float* values, std::size_t count) {
  RangeAccumulator range;
  range.add(values, count);
  return range.range();
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
  return vtcSummaryText(name, vtc, rangeOf(vtc.data.data(), vtc.data.size()));
}

namespace {

std::string vtcSummaryText(const std::string& name, const VTCFile& vtc, const ValueRange& values) {
  const auto& f = vtc.fields;  // offsets 0, 4, ... 48 of the header record
  std::string text = name + ": volume time course, " + std::to_string(vtc.dims.x) + " x " +
                     std::to_string(vtc.dims.y) + " x " + std::to_string(vtc.dims.z) + " voxels, " +
                     std::to_string(vtc.nrOfVolumes()) + " volumes, repetition time " +
                     roundedText(vtc.repetitionTime) + " s\n";
  text += "  box X " + std::to_string(f[5]) + " to " + std::to_string(f[6]) + ", Y " + std::to_string(f[7]) +
          " to " + std::to_string(f[8]) + ", Z " + std::to_string(f[9]) + " to " + std::to_string(f[10]) +
          ", resolution " + std::to_string(f[11]) + ", header code " + std::to_string(f[4]) + "\n";
  text += "  values " + rangeText(values) + "\n";
  return text;
}

// The summary of what parse made of the file, or why it could not.
template <typename Document, typename Summary>
Result<std::string> summaryOf(const Result<Document>& parsed, const std::string& name,
                              Summary summarise) {
  if (!parsed) return parsed.status();
  return summarise(name, parsed.value());
}

}  // namespace

namespace {

// A protocol or design matrix this large is no file of ours; reading it whole would
// only use the memory up.
constexpr uint64_t kMaxTextFileBytes = uint64_t{256} << 20;
// The VTC's data are read this many bytes at a time.
constexpr std::size_t kPieceBytes = std::size_t{1} << 20;

// An open file, closed when it goes.
struct OpenFile {
  int fd = -1;
  ~OpenFile() {
    if (fd >= 0) ::close(fd);
  }
};

// Reads up to `bytes` bytes at the file's position; fewer only at its end.
Result<std::string> readUpTo(int fd, std::size_t bytes) {
  std::string text(bytes, '\0');
  std::size_t got = 0;
  while (got < bytes) {
    const ssize_t count = ::read(fd, text.data() + got, bytes - got);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return Status::fromErrno(errno);
    if (count == 0) break;
    got += static_cast<std::size_t>(count);
  }
  text.resize(got);
  return text;
}

// The VTC's header, then its values a piece at a time: the file never needs more
// memory than one piece.
Result<std::string> summariseVTCFile(int fd, uint64_t size, const std::string& name) {
  const Result<std::string> head = readUpTo(fd, kVTCFileHeaderSize);
  if (!head) return head.status().context("cannot read " + name);
  uint64_t dataOffset = 0;
  const Result<VTCFile> vtc = parseVTCFileHeader(head.value(), size, name, &dataOffset);
  if (!vtc) return vtc.status();
  if (::lseek(fd, static_cast<off_t>(dataOffset), SEEK_SET) < 0)
    return Status::fromErrno(errno).context("cannot read " + name);
  RangeAccumulator values;
  std::vector<float> piece(kPieceBytes / sizeof(float));
  for (uint64_t left = size - dataOffset; left > 0;) {
    const std::size_t bytes = static_cast<std::size_t>(std::min<uint64_t>(left, kPieceBytes));
    Result<std::string> read = readUpTo(fd, bytes);
    if (!read) return read.status().context("cannot read " + name);
    if (read.value().size() != bytes) return Status::error("cannot read " + name + ": it shrank while read");
    std::memcpy(piece.data(), read.value().data(), bytes);
    values.add(piece.data(), bytes / sizeof(float));
    left -= bytes;
  }
  return vtcSummaryText(name, vtc.value(), values.range());
}

}  // namespace

Result<std::string> summariseFile(const std::filesystem::path& path, DiskInterface& disk) {
  const std::string name = path.string();
  const std::string extension = extensionOf(path);
  if (path.filename() == host::record::kRunRecordName) {
    Result<host::record::RunRecord> record = host::record::readRunRecord(path, disk);
    if (!record) return record.status();
    return cohortix::app::runRecordSummary(name, record.value());
  }
  if (auto image = summariseImageOrTruth(path, disk)) return std::move(*image);
  if (extension != ".prt" && extension != ".rtc" && extension != ".vtc")
    return Status::error(name + ": expected a .prt, .rtc, .vtc, .nii, .nii.gz or truth .json file, found the extension \"" + extension + "\"");
  // Non-blocking, so a FIFO does not hold the command; only regular files are read.
  OpenFile file{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
  struct stat about {};
  if (file.fd < 0 || ::fstat(file.fd, &about) != 0)
    return Status::fromErrno(errno).context("cannot read " + name);
  if (!S_ISREG(about.st_mode)) return Status::error(name + " is not a regular file");
  const auto size = static_cast<uint64_t>(about.st_size);
  if (extension == ".vtc") return summariseVTCFile(file.fd, size, name);
  if (size > kMaxTextFileBytes)
    return Status::error(name + ": " + byteSize(size) + " is far more than any " +
                         (extension == ".prt" ? "protocol" : "design matrix") + " of ours holds; not read");
  const Result<std::string> read = readUpTo(file.fd, static_cast<std::size_t>(size));
  if (!read) return read.status().context("cannot read " + name);
  const std::string& contents = read.value();
  if (extension == ".prt") return summaryOf(parseProtocol(contents, name), name, summariseProtocol);
  return summaryOf(parseDesignMatrix(contents, name), name, summariseDesignMatrix);
}

}  // namespace cohortix::host
