// Feeds arbitrary bytes to the NIfTI reader as an image file, and, unless they
// already are a gzip stream, the same bytes gzip-compressed, so a changed header
// reaches both the plain and the compressed path. Every input must be read whole
// or refused with one line "cannot read FILE: ...", whatever its header claims;
// values are read a volume at a time, as the report reads a series.

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "fuzz/fuzz_input_file.h"
#include "host/export/nifti_input.h"

namespace {

using cohortix::fuzz::require;

std::vector<uint8_t> gzipped(const uint8_t* data, size_t size) {
  z_stream stream{};
  require(deflateInit2(&stream, 1, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) == Z_OK);
  std::vector<uint8_t> out(deflateBound(&stream, size) + 32);
  stream.next_in = const_cast<uint8_t*>(data);
  stream.avail_in = static_cast<uInt>(size);
  stream.next_out = out.data();
  stream.avail_out = static_cast<uInt>(out.size());
  require(deflate(&stream, Z_FINISH) == Z_STREAM_END);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

void readImage(const cohortix::fuzz::InputFile& file) {
  const std::string refusal = std::string("cannot read ") + file.path() + ": ";
  auto input = cohortix::host::NiftiInput::open(file.path());
  if (!input) return cohortix::fuzz::requireOneLine(input.status().message(), refusal);
  const cohortix::host::NiftiHeader& header = input->header();
  require(header.dim[0] >= 1 && header.dim[0] <= 7 && header.values() > 0);
  require(header.dataBytes == static_cast<uint64_t>(header.values()) * header.bytesPerValue);
  require(std::isfinite(header.slope) && std::isfinite(header.intercept));
  const auto perVolume = static_cast<std::size_t>(std::min<int64_t>(header.voxels(), int64_t{1} << 20));
  std::vector<float> values(perVolume);
  for (int64_t left = header.values(); left > 0;) {
    const auto count = static_cast<std::size_t>(std::min<int64_t>(left, static_cast<int64_t>(perVolume)));
    if (auto status = input->readScaled(values.data(), count); !status)
      return cohortix::fuzz::requireOneLine(status.message(), refusal);
    left -= static_cast<int64_t>(count);
  }
  if (auto status = input->finish(); !status) cohortix::fuzz::requireOneLine(status.message(), refusal);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static cohortix::fuzz::InputFile file("image");
  file.write(data, size);
  readImage(file);
  if (size >= 2 && data[0] == 0x1f && data[1] == 0x8b) return 0;
  const std::vector<uint8_t> compressed = gzipped(data, size);
  file.write(compressed.data(), compressed.size());
  readImage(file);
  return 0;
}
