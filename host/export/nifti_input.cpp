#include "host/export/nifti_input.h"

#include <fcntl.h>
#include <nifti1_io.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

#include "host/io/file_descriptors.h"

namespace cohortix::host {
namespace {

namespace fs = std::filesystem;

constexpr int32_t kHeaderSize = 348;
constexpr int32_t kNifti2HeaderSize = 540;
// Deflate codes at most 258 bytes in a little over two bits: no gzip stream holds
// more than about 1032 times its size.
constexpr uint64_t kMostGzipRatio = 1032;
constexpr std::size_t kChunkBytes = std::size_t{1} << 24;
constexpr std::size_t kSkipBytes = std::size_t{1} << 18;

struct RealType {
  int code;
  int bytes;
  const char* name;
};

constexpr RealType kRealTypes[] = {
    {NIFTI_TYPE_UINT8, 1, "uint8"},   {NIFTI_TYPE_INT8, 1, "int8"},       {NIFTI_TYPE_INT16, 2, "int16"},
    {NIFTI_TYPE_UINT16, 2, "uint16"}, {NIFTI_TYPE_INT32, 4, "int32"},     {NIFTI_TYPE_UINT32, 4, "uint32"},
    {NIFTI_TYPE_INT64, 8, "int64"},   {NIFTI_TYPE_UINT64, 8, "uint64"},   {NIFTI_TYPE_FLOAT32, 4, "float32"},
    {NIFTI_TYPE_FLOAT64, 8, "float64"},
};

const RealType* realType(int code) {
  for (const RealType& type : kRealTypes)
    if (type.code == code) return &type;
  return nullptr;
}

std::string number(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", value);
  return text;
}

// A fixed-size text field as the user may read it: printable ASCII kept, the rest
// as \xNN, up to the first NUL.
std::string fieldText(const char* field, std::size_t size) {
  std::string text;
  for (std::size_t i = 0; i < size && field[i] != '\0'; ++i) {
    const auto c = static_cast<unsigned char>(field[i]);
    if (c >= 0x20 && c < 0x7f) {
      text += static_cast<char>(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
      text += escaped;
    }
  }
  return text;
}

void swapValues(void* data, std::size_t count, int bytes) {
  auto* p = static_cast<unsigned char*>(data);
  for (std::size_t i = 0; i < count; ++i, p += bytes) std::reverse(p, p + bytes);
}

template <typename Stored>
void scale(const void* raw, std::size_t count, double slope, double intercept, float* out) {
  const auto* values = static_cast<const Stored*>(raw);
  for (std::size_t i = 0; i < count; ++i)
    out[i] = static_cast<float>(static_cast<double>(values[i]) * slope + intercept);
}

// --- the header's fields, each checked ---------------------------------------------

Status checkDims(const nifti_1_header& raw, NiftiHeader& header) {
  if (raw.dim[0] < 1 || raw.dim[0] > 7)
    return Status::error("the header gives " + std::to_string(raw.dim[0]) +
                         " dimensions (dim[0]), expected 1 to 7");
  header.dim.fill(1);
  header.dim[0] = raw.dim[0];
  for (int d = 1; d <= raw.dim[0]; ++d) {
    if (raw.dim[d] < 1)
      return Status::error("the header's dimension " + std::to_string(d) + " (dim[" + std::to_string(d) +
                           "]) is " + std::to_string(raw.dim[d]) + ", expected at least 1");
    header.dim[d] = raw.dim[d];
  }
  const RealType* type = realType(raw.datatype);
  if (!type)
    return Status::error("the header's data type (datatype " + std::to_string(raw.datatype) + ", " +
                         niftiTypeName(raw.datatype) + ") is not a real type this reader takes");
  header.datatype = type->code;
  header.bytesPerValue = type->bytes;
  uint64_t bytes = static_cast<uint64_t>(type->bytes);
  for (int d = 1; d <= 7; ++d)
    if (__builtin_mul_overflow(bytes, static_cast<uint64_t>(header.dim[d]), &bytes) || bytes > (uint64_t{1} << 62))
      return Status::error("the header's dimensions promise more data than any file holds");
  header.dataBytes = bytes;
  return Status::ok();
}

Status checkOffsetAndScaling(const nifti_1_header& raw, NiftiHeader& header) {
  const double offset = raw.vox_offset;
  if (!std::isfinite(offset) || offset < kHeaderSize || offset != std::floor(offset) || offset > 1e15)
    return Status::error("the header's data offset (vox_offset) is " + number(offset) +
                         ", expected a whole number of bytes from 348");
  header.dataOffset = static_cast<uint64_t>(offset);
  if (!std::isfinite(raw.scl_slope))
    return Status::error("the header's scaling slope (scl_slope) is " + number(raw.scl_slope) +
                         ", expected a finite number");
  // A slope of 0 means the values are stored unscaled, whatever the intercept.
  if (raw.scl_slope != 0.0f) {
    if (!std::isfinite(raw.scl_inter))
      return Status::error("the header's scaling intercept (scl_inter) is " + number(raw.scl_inter) +
                           ", expected a finite number");
    header.slope = raw.scl_slope;
    header.intercept = raw.scl_inter;
  }
  return Status::ok();
}

// sform, else qform, else the voxel sizes along the axes; nifti_clib's own
// conventions (a grid spacing of 0 or not finite counts as 1).
Status setAffine(const nifti_1_header& raw, NiftiHeader& header) {
  for (int d = 0; d < 8; ++d) header.pixdim[d] = raw.pixdim[d];
  for (int d = 1; d <= header.dim[0]; ++d)
    if (header.pixdim[d] == 0.0 || !std::isfinite(header.pixdim[d])) header.pixdim[d] = 1.0;
  header.spaceUnits = XYZT_TO_SPACE(raw.xyzt_units);
  header.timeUnits = XYZT_TO_TIME(raw.xyzt_units);
  mat44 matrix{};
  if (raw.sform_code > 0) {
    for (int column = 0; column < 4; ++column) {
      matrix.m[0][column] = raw.srow_x[column];
      matrix.m[1][column] = raw.srow_y[column];
      matrix.m[2][column] = raw.srow_z[column];
    }
  } else if (raw.qform_code > 0) {
    matrix = nifti_quatern_to_mat44(raw.quatern_b, raw.quatern_c, raw.quatern_d, raw.qoffset_x, raw.qoffset_y,
                                    raw.qoffset_z, static_cast<float>(header.pixdim[1]),
                                    static_cast<float>(header.pixdim[2]), static_cast<float>(header.pixdim[3]),
                                    raw.pixdim[0] < 0.0f ? -1.0f : 1.0f);
  } else {
    for (int axis = 0; axis < 3; ++axis) matrix.m[axis][axis] = static_cast<float>(header.pixdim[axis + 1]);
  }
  for (int row = 0; row < 3; ++row)
    for (int column = 0; column < 4; ++column) {
      if (!std::isfinite(matrix.m[row][column]))
        return Status::error(std::string("the header's ") + (raw.sform_code > 0 ? "sform" : "qform") +
                             " holds a value that is not a finite number");
      header.affine[row][column] = matrix.m[row][column];
    }
  return Status::ok();
}

Result<NiftiHeader> checkedHeader(nifti_1_header raw) {
  NiftiHeader header;
  if (raw.sizeof_hdr != kHeaderSize) {
    if (static_cast<int32_t>(__builtin_bswap32(static_cast<uint32_t>(raw.sizeof_hdr))) == kHeaderSize) {
      swap_nifti_header(&raw, 1);
      header.swapped = true;
    } else if (raw.sizeof_hdr == kNifti2HeaderSize ||
               static_cast<int32_t>(__builtin_bswap32(static_cast<uint32_t>(raw.sizeof_hdr))) == kNifti2HeaderSize) {
      return Status::error("it is a NIfTI-2 image; expected NIfTI-1");
    } else {
      return Status::error("expected a NIfTI-1 header (sizeof_hdr 348), found sizeof_hdr " +
                           std::to_string(raw.sizeof_hdr));
    }
  }
  if (std::memcmp(raw.magic, "ni1", 4) == 0)
    return Status::error("the header is one of a pair of files (.hdr and .img); expected a single-file image");
  if (std::memcmp(raw.magic, "n+1", 4) != 0)
    return Status::error("expected the magic \"n+1\" of a NIfTI-1 image, found \"" +
                         fieldText(raw.magic, sizeof raw.magic) + "\"");
  if (Status status = checkDims(raw, header); !status) return status;
  if (Status status = checkOffsetAndScaling(raw, header); !status) return status;
  if (Status status = setAffine(raw, header); !status) return status;
  return header;
}

}  // namespace

// --- the bytes: the plain file, or a gzip stream through zlib's inflate ----------
// zlib's gz* functions were not used: reading through them, a stream cut inside
// its trailer can end without an error, so the trailer would go unchecked.

struct NiftiInput::Stream {
  int fd = -1;
  bool compressed = false;
  uint64_t fileBytes = 0;  // on disk
  uint64_t position = 0;   // in the uncompressed file
  z_stream z{};
  bool inflating = false;
  bool inputEnded = false;  // the file read to its end
  bool ended = false;       // the last gzip member (or the plain file) ended
  std::vector<unsigned char> input;

  ~Stream() {
    if (inflating) inflateEnd(&z);
    if (fd >= 0) ::close(fd);
  }

  Status start() {
    if (!compressed) return Status::ok();
    input.resize(kSkipBytes);
    // 15 + 16: a gzip stream, header and trailer checked.
    if (inflateInit2(&z, 15 + 16) != Z_OK) return Status::error("out of memory");
    inflating = true;
    return Status::ok();
  }

  // Reads up to `bytes`; fewer only where the data end. The status says why not
  // all when it is a fault: a clean end is ok.
  Status read(void* into, uint64_t bytes, uint64_t& got) {
    got = 0;
    auto* out = static_cast<unsigned char*>(into);
    while (got < bytes && !ended) {
      Status status = compressed ? inflateSome(out + got, bytes - got, got) : readSome(out + got, bytes - got, got);
      if (!status) return status;
    }
    return Status::ok();
  }

  // Reads and drops `bytes`.
  Status skip(uint64_t bytes, uint64_t& got) {
    std::vector<char> scratch(static_cast<std::size_t>(std::min<uint64_t>(bytes, kSkipBytes)));
    got = 0;
    while (got < bytes && !ended) {
      uint64_t n = 0;
      Status status = read(scratch.data(), std::min<uint64_t>(bytes - got, scratch.size()), n);
      got += n;
      if (!status) return status;
    }
    return Status::ok();
  }

 private:
  Status readSome(unsigned char* out, uint64_t bytes, uint64_t& got) {
    const ssize_t n = ::read(fd, out, static_cast<std::size_t>(std::min<uint64_t>(bytes, kChunkBytes)));
    if (n < 0) return errno == EINTR ? Status::ok() : Status::fromErrno(errno);
    if (n == 0) ended = true;
    got += static_cast<uint64_t>(n), position += static_cast<uint64_t>(n);
    return Status::ok();
  }

  Status fill() {
    const ssize_t n = ::read(fd, input.data(), input.size());
    if (n < 0) return errno == EINTR ? Status::ok() : Status::fromErrno(errno);
    inputEnded = n == 0;
    z.next_in = input.data();
    z.avail_in = static_cast<uInt>(n);
    return Status::ok();
  }

  Status inflateSome(unsigned char* out, uint64_t bytes, uint64_t& got) {
    if (z.avail_in == 0 && !inputEnded)
      if (Status status = fill(); !status) return status;
    if (z.avail_in == 0 && inputEnded) return Status::error("the gzip stream is cut short");
    const auto ask = static_cast<uInt>(std::min<uint64_t>(bytes, kChunkBytes));
    z.next_out = out;
    z.avail_out = ask;
    const int result = inflate(&z, Z_NO_FLUSH);
    const uint64_t made = ask - z.avail_out;
    got += made, position += made;
    if (result == Z_STREAM_END) return nextMember();
    if (result == Z_OK || (result == Z_BUF_ERROR && z.avail_in == 0)) return Status::ok();
    return damage(result);
  }

  // After a member's trailer: another member, or the end of the data (anything
  // else after the last member is ignored, as gzip does).
  Status nextMember() {
    if (z.avail_in == 0 && !inputEnded)
      if (Status status = fill(); !status) return status;
    if (z.avail_in > 0 && z.next_in[0] == 0x1f) {
      inflateReset(&z);
      return Status::ok();
    }
    ended = true;
    return Status::ok();
  }

  Status damage(int result) const {
    if (result == Z_MEM_ERROR) return Status::error("out of memory");
    const std::string message = z.msg ? z.msg : "not a gzip stream";
    if (message == "incorrect data check")
      return Status::error("the gzip stream is damaged: its CRC-32 does not match its data");
    if (message == "incorrect length check")
      return Status::error("the gzip stream is damaged: its length field does not match its data");
    return Status::error("the gzip stream is damaged: " + message);
  }
};

NiftiInput::NiftiInput(fs::path file, std::unique_ptr<Stream> stream)
    : file_(std::move(file)), stream_(std::move(stream)) {}
NiftiInput::NiftiInput(NiftiInput&&) noexcept = default;
NiftiInput& NiftiInput::operator=(NiftiInput&&) noexcept = default;
NiftiInput::~NiftiInput() = default;

Status NiftiInput::failure(const std::string& what) const {
  return Status::error("cannot read " + file_.string() + ": " + what);
}

// The message for data that end, cleanly, `have` bytes into the data.
Status NiftiInput::shortfall(uint64_t have) const {
  return failure("the header promises " + std::to_string(header_.dataBytes) + " bytes of data, the file holds " +
                 std::to_string(have));
}

Result<NiftiInput> NiftiInput::open(const fs::path& file) {
  auto stream = std::make_unique<Stream>();
  NiftiInput input(file, nullptr);
  // Not blocking on a FIFO: only a regular file is read.
  const int fd = openFile(file, O_RDONLY | O_NONBLOCK);
  if (fd < 0) return input.failure(std::strerror(errno));
  struct stat status {};
  unsigned char magic[2] = {0, 0};
  const bool known = ::fstat(fd, &status) == 0;
  if (!known || !S_ISREG(status.st_mode)) {
    const int error = errno;
    ::close(fd);
    return input.failure(known ? "not a regular file" : std::strerror(error));
  }
  stream->fileBytes = static_cast<uint64_t>(status.st_size);
  stream->fd = fd;
  stream->compressed = ::pread(fd, magic, 2, 0) == 2 && magic[0] == 0x1f && magic[1] == 0x8b;
  if (Status started = stream->start(); !started) return input.failure(started.message());
  input.stream_ = std::move(stream);
  Stream& in = *input.stream_;

  nifti_1_header raw{};
  uint64_t got = 0;
  if (Status read = in.read(&raw, sizeof raw, got); !read) return input.failure(read.message());
  if (got < sizeof raw)
    return input.failure("the file holds " + std::to_string(got) + " bytes, too few for a NIfTI-1 header (348)");
  Result<NiftiHeader> header = checkedHeader(raw);
  if (!header) return input.failure(header.status().message());
  input.header_ = header.value();
  const NiftiHeader& h = input.header_;
  if (!in.compressed) {
    if (h.dataOffset > in.fileBytes)
      return input.failure("the header puts the data at byte " + std::to_string(h.dataOffset) +
                           ", past the end of the file (" + std::to_string(in.fileBytes) + " bytes)");
    if (in.fileBytes - h.dataOffset < h.dataBytes) return input.shortfall(in.fileBytes - h.dataOffset);
  } else if (h.dataOffset + h.dataBytes > in.fileBytes * kMostGzipRatio + 4096) {
    return input.failure("the header promises " + std::to_string(h.dataBytes) +
                         " bytes of data, more than a gzip file of " + std::to_string(in.fileBytes) +
                         " bytes can hold");
  }
  if (Status skipped = in.skip(h.dataOffset - sizeof raw, got); !skipped) return input.failure(skipped.message());
  if (in.position < h.dataOffset)
    return input.failure("the header puts the data at byte " + std::to_string(h.dataOffset) +
                         ", past the end of the file (" + std::to_string(in.position) + " bytes uncompressed)");
  return input;
}

Status NiftiInput::read(void* into, std::size_t count) {
  const auto total = static_cast<uint64_t>(header_.values());
  if (count > total - valuesRead_) return failure("read past the end of the data");
  const uint64_t bytes = static_cast<uint64_t>(count) * static_cast<uint64_t>(header_.bytesPerValue);
  const uint64_t before = valuesRead_ * static_cast<uint64_t>(header_.bytesPerValue);
  uint64_t got = 0;
  Status status = stream_->read(into, bytes, got);
  if (!status && got < bytes)
    return failure(status.message() + " after " + std::to_string(before + got) + " of the " +
                   std::to_string(header_.dataBytes) + " bytes of data the header promises");
  if (!status) return failure(status.message());
  if (got < bytes) return shortfall(before + got);
  valuesRead_ += count;
  if (header_.swapped && header_.bytesPerValue > 1) swapValues(into, count, header_.bytesPerValue);
  return Status::ok();
}

Status NiftiInput::readScaled(float* into, std::size_t count) {
  // Through a buffer of the stored values, a chunk at a time.
  std::vector<unsigned char> raw;
  const std::size_t perChunk = std::max<std::size_t>(1, kChunkBytes / static_cast<std::size_t>(header_.bytesPerValue));
  for (std::size_t done = 0; done < count;) {
    const std::size_t n = std::min(perChunk, count - done);
    raw.resize(n * static_cast<std::size_t>(header_.bytesPerValue));
    if (Status status = read(raw.data(), n); !status) return status;
    scaleNiftiValues(header_, raw.data(), n, into + done);
    done += n;
  }
  return Status::ok();
}

Status NiftiInput::finish() {
  if (valuesRead_ != static_cast<uint64_t>(header_.values())) return failure("the data were not all read");
  if (!stream_->compressed) return Status::ok();
  // To the end of the stream, where zlib checks the CRC-32 and the length of every
  // member against what it decompressed.
  uint64_t got = 0;
  Status status = stream_->skip(UINT64_MAX, got);
  return status ? Status::ok() : failure(status.message());
}

double NiftiHeader::secondsPerVolume() const {
  switch (timeUnits) {
    case NIFTI_UNITS_MSEC: return pixdim[4] / 1000.0;
    case NIFTI_UNITS_USEC: return pixdim[4] / 1e6;
    default: return pixdim[4];
  }
}

std::array<double, 3> NiftiHeader::voxelMillimetres() const {
  const double mm = spaceUnits == NIFTI_UNITS_METER ? 1000.0 : spaceUnits == NIFTI_UNITS_MICRON ? 0.001 : 1.0;
  return {std::fabs(pixdim[1]) * mm, std::fabs(pixdim[2]) * mm, std::fabs(pixdim[3]) * mm};
}

void scaleNiftiValues(const NiftiHeader& header, const void* raw, std::size_t count, float* out) {
  const double slope = header.slope, intercept = header.intercept;
  switch (header.datatype) {
    case NIFTI_TYPE_UINT8: scale<uint8_t>(raw, count, slope, intercept, out); break;
    case NIFTI_TYPE_INT8: scale<int8_t>(raw, count, slope, intercept, out); break;
    case NIFTI_TYPE_INT16: scale<int16_t>(raw, count, slope, intercept, out); break;
    case NIFTI_TYPE_UINT16: scale<uint16_t>(raw, count, slope, intercept, out); break;
    case NIFTI_TYPE_INT32: scale<int32_t>(raw, count, slope, intercept, out); break;
    case NIFTI_TYPE_UINT32: scale<uint32_t>(raw, count, slope, intercept, out); break;
    case NIFTI_TYPE_INT64: scale<int64_t>(raw, count, slope, intercept, out); break;
    case NIFTI_TYPE_UINT64: scale<uint64_t>(raw, count, slope, intercept, out); break;
    case NIFTI_TYPE_FLOAT32: scale<float>(raw, count, slope, intercept, out); break;
    default: scale<double>(raw, count, slope, intercept, out); break;
  }
}

std::string niftiTypeName(int datatype) {
  if (const RealType* type = realType(datatype)) return type->name;
  switch (datatype) {
    case NIFTI_TYPE_COMPLEX64: return "complex64";
    case NIFTI_TYPE_COMPLEX128: return "complex128";
    case NIFTI_TYPE_COMPLEX256: return "complex256";
    case NIFTI_TYPE_FLOAT128: return "float128";
    case NIFTI_TYPE_RGB24: return "rgb24";
    case NIFTI_TYPE_RGBA32: return "rgba32";
    case DT_BINARY: return "binary";
    default: return "unknown";
  }
}

}  // namespace cohortix::host
