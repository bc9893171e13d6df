#include "host/export/parallel_gzip.h"

#include <isa-l/crc.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <optional>
#include <system_error>
#include <thread>

#include "host/export/literal_deflate.h"

namespace cohortix::host {
namespace {

// A gzip member's header: deflate, no name, no time, made on Unix.
constexpr std::array<unsigned char, 10> kGzipHeader = {0x1f, 0x8b, 8, 0, 0, 0, 0, 0, 0, 3};

// Room for a piece that does not compress at all: stored blocks add 5 bytes in
// 65535, the block headers and the flush a little more.
std::size_t outputRoomFor(std::size_t bytes) { return bytes + bytes / 1024 + 4096; }

// zlib's level for each of ours that searches for repeats (1 to 3).
constexpr std::array<int, 4> kSearchLevel = {0, 1, 4, 6};

// Raw deflate blocks of one piece from zlib's compressor, which searches for
// repeats, at our `level` (1 to 3), written at the start of `output` (grown as
// needed); their size, or nothing when the compressor fails. All but the last
// piece end on a byte boundary with a full flush, no block of theirs marked final,
// so the pieces can follow one another; the last piece carries the final block.
// zlib, not the faster igzip: igzip's dynamic blocks were seen to differ from one
// thread to another for the same piece on some processors, and the same input must
// give the same file whatever the threads (a resumed dataset, a rerun's checksums).
std::optional<std::size_t> searchingDeflate(const std::string& input, std::string& output,
                                            int level, bool last) {
  z_stream stream{};
  if (deflateInit2(&stream, kSearchLevel[static_cast<std::size_t>(level)], Z_DEFLATED, -MAX_WBITS,
                   8, Z_DEFAULT_STRATEGY) != Z_OK)
    return std::nullopt;
  const std::size_t room = std::max<std::size_t>(
      outputRoomFor(input.size()), deflateBound(&stream, static_cast<uLong>(input.size())) + 16);
  if (output.size() < room) output.resize(room);
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
  stream.avail_in = static_cast<uInt>(input.size());
  stream.next_out = reinterpret_cast<Bytef*>(output.data());
  stream.avail_out = static_cast<uInt>(output.size());
  const int status = deflate(&stream, last ? Z_FINISH : Z_FULL_FLUSH);
  const bool done = last ? status == Z_STREAM_END : (status == Z_OK && stream.avail_in == 0);
  const std::size_t bytes = stream.total_out;
  deflateEnd(&stream);
  if (!done) return std::nullopt;
  return bytes;
}

// Below this share of its size as literals a piece is taken to have structure
// (constant regions, masks) that repeats pay off on.
constexpr double kNoiseLikeShare = 0.5;

std::optional<std::size_t> deflatePiece(const std::string& input, std::string& output, int level,
                                        bool last) {
  if (level >= 2) return searchingDeflate(input, output, level, last);
  const ByteHistogram histogram = estimatedHistogramOf(input);
  if (level == 1 && static_cast<double>(literalDeflateBytes(histogram)) <
                        kNoiseLikeShare * static_cast<double>(input.size()))
    return searchingDeflate(input, output, level, last);
  return writeLiteralDeflate(input, histogram, last, output);
}

std::string littleEndian32(uint32_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i));
  return bytes;
}

}  // namespace

ParallelGzipSink::ParallelGzipSink(FileSink& out, int level, unsigned threads,
                                   std::size_t pieceBytes)
    : out_(out),
      level_(std::clamp(level, kMinGzipLevel, kMaxGzipLevel)),
      threads_(threads > 0 ? threads : std::max(1u, std::thread::hardware_concurrency())),
      pieceBytes_(std::max<std::size_t>(pieceBytes, 1)) {}

Status ParallelGzipSink::emit(std::string_view bytes) {
  if (!started_) {
    started_ = true;
    Status header = out_.write(std::string_view(reinterpret_cast<const char*>(kGzipHeader.data()),
                                                kGzipHeader.size()));
    if (!header) return header;
  }
  return bytes.empty() ? Status::ok() : out_.write(bytes);
}

Status ParallelGzipSink::compressPieces(bool last) {
  const std::size_t count = used_;
  const auto compress = [this, count, last](std::size_t index) {
    Piece& piece = pieces_[index];
    const std::optional<std::size_t> bytes =
        deflatePiece(piece.input, piece.output, level_, last && index + 1 == count);
    piece.failed = !bytes;
    piece.outputBytes = bytes.value_or(0);
  };
  std::vector<std::thread> workers;
  for (std::size_t index = 1; index < count; ++index) {
    try {
      workers.emplace_back(compress, index);
    } catch (const std::system_error&) {
      compress(index);  // no thread to be had: this one is done here
    }
  }
  if (count > 0) compress(0);
  for (std::thread& worker : workers) worker.join();
  used_ = 0;
  for (std::size_t index = 0; index < count; ++index) {
    const Piece& piece = pieces_[index];
    if (piece.failed) return Status::error("the compression failed");
    crc_ = crc32_gzip_refl(crc_, reinterpret_cast<const unsigned char*>(piece.input.data()),
                           piece.input.size());
    length_ += piece.input.size();
    Status written = emit(std::string_view(piece.output).substr(0, piece.outputBytes));
    if (!written) return written;
  }
  return Status::ok();
}

Status ParallelGzipSink::write(std::string_view bytes) {
  while (!bytes.empty()) {
    if (used_ == 0 || pieces_[used_ - 1].input.size() == pieceBytes_) {
      if (used_ == threads_) {
        Status compressed = compressPieces(false);
        if (!compressed) return compressed;
      }
      startPiece();
    }
    std::string& input = pieces_[used_ - 1].input;
    const std::size_t take = std::min(bytes.size(), pieceBytes_ - input.size());
    input.append(bytes.substr(0, take));
    bytes.remove_prefix(take);
  }
  return Status::ok();
}

// The next piece of the batch, its buffers those of the batch before when there
// was one: filled and coded again, they are not allocated and cleared again.
void ParallelGzipSink::startPiece() {
  if (used_ == pieces_.size()) pieces_.emplace_back();
  Piece& piece = pieces_[used_++];
  piece.input.clear();
  piece.input.reserve(pieceBytes_);
}

Status ParallelGzipSink::finish() {
  // An empty last piece still carries the final block.
  if (used_ == 0) startPiece();
  Status compressed = compressPieces(true);
  if (!compressed) return compressed;
  return out_.write(littleEndian32(crc_) + littleEndian32(static_cast<uint32_t>(length_)));
}

}  // namespace cohortix::host
