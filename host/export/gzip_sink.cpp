#include "host/export/gzip_sink.h"

#include <zlib.h>

#include <climits>

namespace cohortix::host {
namespace {

// zlib's own defaults for a gzip stream: a 32 KB window and its usual memory use,
// so the bytes are those that gzip-writing functions of the library would give.
constexpr int kGzipWindowBits = MAX_WBITS + 16;
constexpr int kMemoryLevel = 8;
constexpr std::size_t kOutputBytes = std::size_t{1} << 18;

}  // namespace

struct GzipSink::Stream {
  z_stream z{};
  bool ready = false;
};

GzipSink::GzipSink(FileSink& out, int level) : out_(out), stream_(std::make_unique<Stream>()) {
  stream_->ready = deflateInit2(&stream_->z, level, Z_DEFLATED, kGzipWindowBits, kMemoryLevel,
                                Z_DEFAULT_STRATEGY) == Z_OK;
  buffer_.resize(kOutputBytes);
}

GzipSink::~GzipSink() {
  if (stream_->ready) deflateEnd(&stream_->z);
}

Status GzipSink::deflateInto(int flush) {
  z_stream& z = stream_->z;
  for (;;) {
    z.next_out = reinterpret_cast<Bytef*>(buffer_.data());
    z.avail_out = static_cast<uInt>(buffer_.size());
    const int result = deflate(&z, flush);
    if (result == Z_STREAM_ERROR) return Status::error("the compression failed");
    const std::size_t produced = buffer_.size() - z.avail_out;
    if (produced > 0) {
      Status written = out_.write(std::string_view(buffer_.data(), produced));
      if (!written) return written;
    }
    if (flush == Z_FINISH ? result == Z_STREAM_END : z.avail_in == 0 && z.avail_out != 0)
      return Status::ok();
  }
}

Status GzipSink::write(std::string_view bytes) {
  if (!stream_->ready) return Status::error("the compression could not start");
  while (!bytes.empty()) {
    const std::size_t piece = std::min<std::size_t>(bytes.size(), UINT_MAX);
    stream_->z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream_->z.avail_in = static_cast<uInt>(piece);
    Status compressed = deflateInto(Z_NO_FLUSH);
    if (!compressed) return compressed;
    bytes.remove_prefix(piece);
  }
  return Status::ok();
}

Status GzipSink::finish() {
  if (!stream_->ready) return Status::error("the compression could not start");
  stream_->z.next_in = nullptr;
  stream_->z.avail_in = 0;
  return deflateInto(Z_FINISH);
}

}  // namespace cohortix::host
