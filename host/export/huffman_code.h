#pragma once
// Huffman code lengths of at most a given number of bits, and the canonical codes
// deflate assigns to them, as the small pieces of the literal compressor.

#include <cstdint>
#include <span>
#include <vector>

namespace cohortix::host {

// A length per symbol (0 for a symbol that never occurs) of a complete prefix code
// with no code longer than `maxLength` bits: Huffman's code of the frequencies,
// with the frequencies halved until it fits. At least two symbols get a code, so a
// decoder always sees a complete code, even for one symbol or none. There must be
// at most 2^maxLength symbols.
std::vector<uint8_t> limitedHuffmanLengths(std::span<const uint64_t> frequencies, int maxLength);

// The canonical codes of the lengths, bit-reversed, as deflate writes them: the
// first bit of the code in the lowest bit.
std::vector<uint16_t> canonicalCodes(std::span<const uint8_t> lengths);

}  // namespace cohortix::host
