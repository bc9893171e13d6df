#pragma once
// Compresses what is written to it into one standard gzip stream for another sink,
// with the work spread over threads: the input is cut into pieces of a fixed size,
// each piece is deflated on its own (no history shared across a cut) into blocks
// that end on a byte, and the pieces are joined in order under one header and one
// trailer. Any gzip reader takes the result as a single ordinary member. The cuts
// depend on the bytes alone, never on the number of threads, so the same input
// always gives the same output.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/io/disk_interface.h"

namespace cohortix::host {

// The compressor's levels. 0: every byte coded as a literal, no search for repeats
// (the fastest; a simulated volume's noise is where the gain is, and it has no
// repeats to find). 1: the same, but a piece whose bytes look structured (less
// than half its size as literals) is searched for repeats. 2 and 3: every piece is
// searched, harder at 3.
inline constexpr int kMinGzipLevel = 0;
inline constexpr int kMaxGzipLevel = 3;
inline constexpr int kDefaultGzipLevel = 1;

// Where the input is cut: large enough that the lost history costs nothing to
// speak of, small enough to keep every core busy on one volume.
inline constexpr std::size_t kGzipPieceBytes = std::size_t{4} << 20;

class ParallelGzipSink : public FileSink {
 public:
  // `level` kMinGzipLevel to kMaxGzipLevel; `threads` 0: one per core.
  ParallelGzipSink(FileSink& out, int level, unsigned threads = 0,
                   std::size_t pieceBytes = kGzipPieceBytes);
  ParallelGzipSink(const ParallelGzipSink&) = delete;
  ParallelGzipSink& operator=(const ParallelGzipSink&) = delete;

  Status write(std::string_view bytes) override;
  // Ends the stream; nothing may be written after it.
  Status finish();

 private:
  struct Piece {
    std::string input;
    std::string output;  // its first outputBytes hold the piece's blocks
    std::size_t outputBytes = 0;
    bool failed = false;
  };

  Status compressPieces(bool last);
  void startPiece();
  Status emit(std::string_view bytes);

  FileSink& out_;
  int level_;
  unsigned threads_;
  std::size_t pieceBytes_;
  std::vector<Piece> pieces_;  // the batch's first used_ are filled in order, the last maybe partly
  std::size_t used_ = 0;
  bool started_ = false;
  uint32_t crc_ = 0;
  uint64_t length_ = 0;
};

// True when level is one the compressor knows.
constexpr bool validGzipLevel(int level) {
  return level >= kMinGzipLevel && level <= kMaxGzipLevel;
}

}  // namespace cohortix::host
