#include "host/export/literal_deflate.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "host/export/huffman_code.h"

namespace cohortix::host {
namespace {

// Four codes and a partial byte fit the 64-bit bit buffer between two stores, and
// two codes and their joint length one 32-bit entry of the table of byte pairs.
constexpr int kMaxLiteralBits = 13;
constexpr int kMaxLengthCodeBits = 7;
constexpr std::size_t kEndOfBlock = 256;
constexpr std::size_t kLiterals = 257;  // the bytes and the end of the block
// No repeats, so no distance is ever coded; two codes of one bit keep the distance
// code complete for every decoder.
constexpr std::array<uint8_t, 2> kDistanceLengths = {1, 1};
// The order in which a block's header lists the lengths of the length code.
constexpr std::array<uint8_t, 19> kLengthCodeOrder = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                      11, 4,  12, 3, 13, 2, 14, 1, 15};
constexpr std::size_t kMaxStoredBytes = 65535;
constexpr std::size_t kStoredHeaderBytes = 5;  // the block type's byte, LEN and NLEN
constexpr std::size_t kSyncBytes = 5;          // an empty stored block after the last code

// A dynamic block's code: the literals', and the code of their lengths in the header.
struct LiteralCode {
  std::vector<uint8_t> lengths;  // the literals', then the distances', as listed
  std::vector<uint8_t> lengthCodeLengths;
  std::vector<uint16_t> literalCodes;
  std::vector<uint16_t> lengthCodes;
  std::size_t lengthCodesListed = 4;

  uint64_t headerBits() const {
    uint64_t bits = 3 + 5 + 5 + 4 + 3 * lengthCodesListed;
    for (const uint8_t length : lengths) bits += lengthCodeLengths[length];
    return bits;
  }
  uint64_t dataBits(const ByteHistogram& histogram) const {
    uint64_t bits = lengths[kEndOfBlock];
    for (std::size_t byte = 0; byte < histogram.size(); ++byte) bits += histogram[byte] * lengths[byte];
    return bits;
  }
};

LiteralCode literalCodeOf(const ByteHistogram& histogram) {
  std::vector<uint64_t> frequencies(histogram.begin(), histogram.end());
  frequencies.push_back(1);  // the end of the block
  LiteralCode code;
  code.lengths = limitedHuffmanLengths(frequencies, kMaxLiteralBits);
  code.literalCodes = canonicalCodes(code.lengths);
  code.lengths.insert(code.lengths.end(), kDistanceLengths.begin(), kDistanceLengths.end());
  std::vector<uint64_t> lengthFrequencies(kLengthCodeOrder.size(), 0);
  for (const uint8_t length : code.lengths) ++lengthFrequencies[length];
  code.lengthCodeLengths = limitedHuffmanLengths(lengthFrequencies, kMaxLengthCodeBits);
  code.lengthCodes = canonicalCodes(code.lengthCodeLengths);
  code.lengthCodesListed = kLengthCodeOrder.size();
  while (code.lengthCodesListed > 4 &&
         code.lengthCodeLengths[kLengthCodeOrder[code.lengthCodesListed - 1]] == 0)
    --code.lengthCodesListed;
  return code;
}

std::size_t storedBytes(std::size_t bytes, bool last) {
  if (bytes == 0) return last ? kStoredHeaderBytes : 0;
  return bytes + kStoredHeaderBytes * ((bytes + kMaxStoredBytes - 1) / kMaxStoredBytes);
}

std::size_t dynamicBytes(const LiteralCode& code, const ByteHistogram& histogram, bool last) {
  const uint64_t bits = code.headerBits() + code.dataBits(histogram);
  return static_cast<std::size_t>((bits + 7) / 8) + (last ? 0 : kSyncBytes);
}

// Two bytes' codes joined, x's first, at index x | y << 8, with their joint length
// (at most 2 * kMaxLiteralBits) in the bits above the codes.
constexpr int kPairCodeBits = 2 * kMaxLiteralBits;
constexpr uint32_t kPairCodeMask = (uint32_t{1} << kPairCodeBits) - 1;
static_assert(kPairCodeBits + 5 <= 32, "a pair's codes and length fit 32 bits");
using PairTable = std::vector<uint32_t>;

// Runs of bytes from this long on are coded by pairs: filling the table costs
// about as much as coding some 64 KiB by pairs saves.
constexpr std::size_t kPairsFrom = std::size_t{256} << 10;

PairTable pairTableOf(const std::array<uint32_t, 256>& entry) {
  PairTable pairs(std::size_t{1} << 16);
  for (uint32_t y = 0; y < 256; ++y) {
    const uint32_t second = entry[y] & 0xffffu, secondBits = entry[y] >> 16;
    for (uint32_t x = 0; x < 256; ++x) {
      const uint32_t firstBits = entry[x] >> 16;
      pairs[x | (y << 8)] = ((entry[x] & 0xffffu) | (second << firstBits)) |
                            ((firstBits + secondBits) << kPairCodeBits);
    }
  }
  return pairs;
}

// Bits in deflate's order, lowest first, stored eight bytes at a time: the output
// needs 8 bytes of room past what it is to hold.
class BitWriter {
 public:
  explicit BitWriter(char* out) : out_(out) {}

  void put(uint32_t bits, int count) {
    buffer_ |= static_cast<uint64_t>(bits) << count_;
    count_ += count;
    store();
  }
  // Every byte as its code.
  void putBytes(std::string_view bytes, const std::array<uint32_t, 256>& entry) {
    putByFours(bytes, entry, [&entry](const unsigned char* p) {
      const uint32_t e0 = entry[p[0]], e1 = entry[p[1]], e2 = entry[p[2]], e3 = entry[p[3]];
      // Two codes joined first, so that fewer steps wait on the bit count.
      const uint64_t low = (e0 & 0xffffu) | (static_cast<uint64_t>(e1 & 0xffffu) << (e0 >> 16));
      const uint64_t high = (e2 & 0xffffu) | (static_cast<uint64_t>(e3 & 0xffffu) << (e2 >> 16));
      const int lowBits = static_cast<int>((e0 >> 16) + (e1 >> 16));
      return JoinedCodes{low | (high << lowBits), lowBits + static_cast<int>((e2 >> 16) + (e3 >> 16))};
    });
  }
  // The same, two bytes to a table entry (pairTableOf): half the lookups and joins
  // of putBytes, for a table that takes its time to fill.
  void putBytesByPairs(std::string_view bytes, const PairTable& pairs,
                       const std::array<uint32_t, 256>& entry) {
    putByFours(bytes, entry, [&pairs](const unsigned char* p) {
      const uint32_t e0 = pairs[p[0] | (p[1] << 8)];
      const uint32_t e1 = pairs[p[2] | (p[3] << 8)];
      const int firstBits = static_cast<int>(e0 >> kPairCodeBits);
      return JoinedCodes{(e0 & kPairCodeMask) | (static_cast<uint64_t>(e1 & kPairCodeMask) << firstBits),
                         firstBits + static_cast<int>(e1 >> kPairCodeBits)};
    });
  }
  // Pads to a byte with zero bits; returns where the next byte goes.
  char* alignToByte() {
    store();
    if (count_ > 0) *out_++ = static_cast<char>(buffer_);
    buffer_ = 0;
    count_ = 0;
    return out_;
  }

 private:
  // The codes of four bytes joined, at most 4 * kMaxLiteralBits bits.
  struct JoinedCodes {
    uint64_t bits;
    int count;
  };
  // Every four bytes as `joined` gives their codes, then one store; the bytes
  // left over one by one. The hot loop keeps the buffer in locals: the stores go
  // through a char pointer, which the compiler must otherwise take to alias them.
  template <class Joined>
  [[gnu::always_inline]] void putByFours(std::string_view bytes, const std::array<uint32_t, 256>& entry,
                                         Joined joined) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const unsigned char* const end = p + bytes.size();
    uint64_t buffer = buffer_;
    int count = count_;
    char* out = out_;
    for (; end - p >= 4; p += 4) {
      const JoinedCodes codes = joined(p);
      buffer |= codes.bits << count;
      count += codes.count;
      std::memcpy(out, &buffer, sizeof buffer);
      out += count >> 3;
      buffer >>= count & ~7;
      count &= 7;
    }
    buffer_ = buffer;
    count_ = count;
    out_ = out;
    for (; p < end; ++p) put(entry[*p] & 0xffffu, static_cast<int>(entry[*p] >> 16));
  }
  void store() {
    std::memcpy(out_, &buffer_, sizeof buffer_);
    out_ += count_ >> 3;
    buffer_ >>= count_ & ~7;  // at most 56: count_ never exceeds 63
    count_ &= 7;
  }

  char* out_;
  uint64_t buffer_ = 0;
  int count_ = 0;
};

void growTo(std::string& buffer, std::size_t bytes) {
  if (buffer.size() < bytes) buffer.resize(bytes);
}

char* putLittleEndian16(char* out, uint32_t value) {
  out[0] = static_cast<char>(value & 0xff);
  out[1] = static_cast<char>((value >> 8) & 0xff);
  return out + 2;
}

char* writeStored(std::string_view bytes, bool last, char* out) {
  if (bytes.empty() && !last) return out;
  do {
    const std::size_t take = std::min(bytes.size(), kMaxStoredBytes);
    const bool final = last && take == bytes.size();
    *out++ = static_cast<char>(final ? 1 : 0);  // BFINAL, stored, padded to the byte
    out = putLittleEndian16(out, static_cast<uint32_t>(take));
    out = putLittleEndian16(out, static_cast<uint32_t>(~take & 0xffff));
    std::memcpy(out, bytes.data(), take);
    out += take;
    bytes.remove_prefix(take);
  } while (!bytes.empty());
  return out;
}

void writeHeader(const LiteralCode& code, bool last, BitWriter& bits) {
  bits.put(last ? 1 : 0, 1);
  bits.put(2, 2);  // a block with its own codes
  bits.put(static_cast<uint32_t>(kLiterals - 257), 5);
  bits.put(static_cast<uint32_t>(kDistanceLengths.size() - 1), 5);
  bits.put(static_cast<uint32_t>(code.lengthCodesListed - 4), 4);
  for (std::size_t i = 0; i < code.lengthCodesListed; ++i)
    bits.put(code.lengthCodeLengths[kLengthCodeOrder[i]], 3);
  for (const uint8_t length : code.lengths)
    bits.put(code.lengthCodes[length], code.lengthCodeLengths[length]);
}

char* writeDynamic(std::string_view bytes, const LiteralCode& code, bool last, char* out) {
  std::array<uint32_t, 256> entry{};
  for (std::size_t byte = 0; byte < entry.size(); ++byte)
    entry[byte] = code.literalCodes[byte] | (static_cast<uint32_t>(code.lengths[byte]) << 16);
  BitWriter bits(out);
  writeHeader(code, last, bits);
  if (bytes.size() >= kPairsFrom)
    bits.putBytesByPairs(bytes, pairTableOf(entry), entry);
  else
    bits.putBytes(bytes, entry);
  bits.put(code.literalCodes[kEndOfBlock], code.lengths[kEndOfBlock]);
  if (last) return bits.alignToByte();
  bits.put(0, 3);  // an empty stored block, which ends on a byte
  out = bits.alignToByte();
  out = putLittleEndian16(out, 0);
  return putLittleEndian16(out, 0xffff);
}

// Four tables, so that runs of one byte do not wait on the same counter; at most
// 2^32 - 1 counts to a counter before they are summed.
using ByteCounts = std::array<std::array<uint32_t, 256>, 4>;

void countBytes(const unsigned char* p, std::size_t n, ByteCounts& counts) {
  std::size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    ++counts[0][p[i]];
    ++counts[1][p[i + 1]];
    ++counts[2][p[i + 2]];
    ++counts[3][p[i + 3]];
  }
  for (; i < n; ++i) ++counts[0][p[i]];
}

void addCounts(ByteCounts& counts, uint64_t scale, ByteHistogram& histogram) {
  for (std::size_t byte = 0; byte < 256; ++byte)
    for (auto& table : counts) histogram[byte] += scale * table[byte];
  counts = {};
}

constexpr std::size_t kMaxCountedAtOnce = std::size_t{1} << 30;
// An estimate reads one line of kSampleLineBytes in every kSampleStrideBytes:
// whole lines, so every byte position of a float is read alike.
constexpr std::size_t kSampleLineBytes = 64;
constexpr std::size_t kSampleStrideBytes = 512;
constexpr std::size_t kSamplePrefetchBytes = 16 * kSampleStrideBytes;
constexpr std::size_t kEstimatedFrom = std::size_t{256} << 10;

}  // namespace

ByteHistogram histogramOf(std::string_view bytes) {
  ByteCounts counts{};
  ByteHistogram histogram{};
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  for (std::size_t at = 0; at < bytes.size(); at += kMaxCountedAtOnce) {
    countBytes(p + at, std::min(bytes.size() - at, kMaxCountedAtOnce), counts);
    addCounts(counts, 1, histogram);
  }
  return histogram;
}

ByteHistogram estimatedHistogramOf(std::string_view bytes) {
  if (bytes.size() < kEstimatedFrom) return histogramOf(bytes);
  ByteCounts counts{};
  ByteHistogram histogram{};
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t counted = 0;
  for (std::size_t at = 0; at < bytes.size(); at += kSampleStrideBytes) {
    // The lines are far apart and mostly not in the cache: asking for one well
    // ahead keeps several loads in flight instead of waiting on each in turn.
    if (at + kSamplePrefetchBytes < bytes.size()) __builtin_prefetch(p + at + kSamplePrefetchBytes);
    const std::size_t line = std::min(kSampleLineBytes, bytes.size() - at);
    countBytes(p + at, line, counts);
    if ((counted += line) >= kMaxCountedAtOnce) {
      addCounts(counts, kSampleStrideBytes / kSampleLineBytes, histogram);
      counted = 0;
    }
  }
  addCounts(counts, kSampleStrideBytes / kSampleLineBytes, histogram);
  // A byte the lines missed may still be in the piece: it needs a code.
  for (uint64_t& count : histogram) count = std::max<uint64_t>(count, 1);
  return histogram;
}

std::size_t literalDeflateBytes(const ByteHistogram& histogram) {
  uint64_t total = 0;
  for (const uint64_t count : histogram) total += count;
  return std::min(storedBytes(total, true), dynamicBytes(literalCodeOf(histogram), histogram, true));
}

std::size_t writeLiteralDeflate(std::string_view bytes, const ByteHistogram& histogram, bool last,
                                std::string& buffer) {
  const LiteralCode code = literalCodeOf(histogram);
  const std::size_t stored = storedBytes(bytes.size(), last);
  if (dynamicBytes(code, histogram, last) < stored) {
    // Room for every byte at the code's longest length: the histogram may be an
    // estimate, so the exact size is known only once the bytes are coded.
    const uint8_t longest = *std::max_element(code.lengths.begin(), code.lengths.begin() + 256);
    const uint64_t bits = code.headerBits() + bytes.size() * uint64_t{longest} + code.lengths[kEndOfBlock];
    growTo(buffer, static_cast<std::size_t>((bits + 7) / 8) + kSyncBytes + sizeof(uint64_t));
    const auto coded = static_cast<std::size_t>(writeDynamic(bytes, code, last, buffer.data()) - buffer.data());
    if (coded <= stored) return coded;
  }
  growTo(buffer, stored + sizeof(uint64_t));
  return static_cast<std::size_t>(writeStored(bytes, last, buffer.data()) - buffer.data());
}

}  // namespace cohortix::host
