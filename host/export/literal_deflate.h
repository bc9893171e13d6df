#pragma once
// Deflate blocks that code every byte as a literal with a Huffman code of the
// block's own byte frequencies, and look for no repeats. Simulated volumes are
// noise in their low bytes and hardly repeat: their gain is all in the code of the
// bytes, which this gets at several times the speed of a compressor that also
// searches for repeats.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace cohortix::host {

using ByteHistogram = std::array<uint64_t, 256>;

ByteHistogram histogramOf(std::string_view bytes);
// The histogram of a long run of bytes estimated from an eighth of them, every
// byte value counted at least once (so every byte has a code, seen or not); a
// short run's counted whole. Noise has the same frequencies throughout, so a
// code of the estimate comes within a hair of one of the whole, at an eighth of
// the counting.
ByteHistogram estimatedHistogramOf(std::string_view bytes);

// The bytes `bytes` take as literals (the code's header included); at most a few
// bytes above what stored blocks take.
std::size_t literalDeflateBytes(const ByteHistogram& histogram);

// Writes `bytes` as raw deflate blocks at the start of `buffer`, which it grows as
// needed but never shrinks (so a buffer used again is not cleared again), and
// returns how many bytes the blocks take. `last`: the final block of the stream;
// otherwise the blocks end on a byte with no block marked final, so that more
// blocks can follow. `histogram` is that of `bytes`, or an estimate of it that
// counts every byte of theirs at least once; the blocks are stored when coding
// them would not be shorter.
std::size_t writeLiteralDeflate(std::string_view bytes, const ByteHistogram& histogram, bool last,
                                std::string& buffer);

}  // namespace cohortix::host
