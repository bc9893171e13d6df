#include "host/export/parallel_gzip.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace cohortix::host {
namespace {

struct StringSink : FileSink {
  std::string bytes;
  Status write(std::string_view piece) override {
    bytes.append(piece);
    return Status::ok();
  }
};

// The stream decompressed as one gzip member; fails the test when the member ends
// before the bytes do (a second member) or is broken.
std::string inflateOneMember(const std::string& gzip) {
  z_stream z{};
  EXPECT_EQ(inflateInit2(&z, MAX_WBITS + 16), Z_OK);
  std::string out(1 << 16, '\0');
  std::string result;
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(gzip.data()));
  z.avail_in = static_cast<uInt>(gzip.size());
  int status = Z_OK;
  while (status == Z_OK) {
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    status = inflate(&z, Z_NO_FLUSH);
    result.append(out.data(), out.size() - z.avail_out);
  }
  EXPECT_EQ(status, Z_STREAM_END);
  EXPECT_EQ(z.avail_in, 0u) << "bytes after the first member";
  inflateEnd(&z);
  return result;
}

// Noisy floats, as a simulated volume is: little repeats.
std::string noisyFloats(std::size_t count, uint32_t seed) {
  std::mt19937 random(seed);
  std::normal_distribution<float> noise(100.0f, 3.0f);
  std::string bytes(count * sizeof(float), '\0');
  for (std::size_t i = 0; i < count; ++i) {
    const float value = noise(random);
    std::memcpy(bytes.data() + i * sizeof(float), &value, sizeof value);
  }
  return bytes;
}

std::string compressed(const std::string& input, int level, unsigned threads,
                       std::size_t pieceBytes, std::size_t writeBytes) {
  StringSink sink;
  ParallelGzipSink gzip(sink, level, threads, pieceBytes);
  for (std::size_t at = 0; at < input.size(); at += writeBytes)
    EXPECT_TRUE(gzip.write(std::string_view(input).substr(at, writeBytes)));
  EXPECT_TRUE(gzip.finish());
  return sink.bytes;
}

// Bytes whose best code is deeper than deflate allows, so it must be cut down:
// byte k about 1.6^k times, for k below `values`, shuffled.
std::string skewedBytes(int values) {
  std::string skewed;
  for (int k = 0; k < values; ++k)
    skewed.append(static_cast<std::size_t>(std::pow(1.6, k)), static_cast<char>(k));
  std::shuffle(skewed.begin(), skewed.end(), std::mt19937(5));
  return skewed;
}

// Every length around the cuts and the batches of pieces, at every level, in
// writes of any size, and pieces long enough to be coded two bytes at a time: one
// member that gives back the input, and the same bytes whatever the number of
// threads.
TEST(ParallelGzip, OneMemberGivingBackTheInputWhateverTheCutsAndThreads) {
  constexpr std::size_t kPiece = 4096;
  constexpr std::size_t kLongPiece = std::size_t{1} << 20;
  const std::string noise = noisyFloats(20 * kPiece / sizeof(float), 7);
  struct Case {
    std::string input;
    std::size_t pieceBytes;
  };
  std::vector<Case> cases;
  for (const std::size_t length : {std::size_t{0}, std::size_t{1}, kPiece - 1, kPiece, kPiece + 1,
                                   3 * kPiece, 3 * kPiece + 17, noise.size()})
    cases.push_back({noise.substr(0, length), kPiece});
  cases.push_back({skewedBytes(24), kPiece});
  cases.push_back({skewedBytes(26), kLongPiece});
  cases.push_back({noisyFloats(kLongPiece / sizeof(float), 8) + "odd", kLongPiece});
  for (const Case& c : cases) {
    for (int level = kMinGzipLevel; level <= kMaxGzipLevel; ++level) {
      const std::string one = compressed(c.input, level, 1, c.pieceBytes, 1000);
      EXPECT_TRUE(inflateOneMember(one) == c.input) << c.input.size() << " bytes, level " << level;
      EXPECT_TRUE(compressed(c.input, level, 3, c.pieceBytes, c.pieceBytes * 2 + 5) == one)
          << c.input.size() << " bytes, level " << level;
    }
  }
}

// The bytes' empirical entropy: no code of single bytes does better.
double entropyBytes(const std::string& bytes) {
  std::array<double, 256> counts{};
  for (const char byte : bytes) ++counts[static_cast<unsigned char>(byte)];
  double bits = 0;
  for (const double count : counts)
    if (count > 0) bits -= count * std::log2(count / static_cast<double>(bytes.size()));
  return bits / 8;
}

// Noise is coded within a hair of its byte entropy at every level, the default
// level taking the literal coding; data with structure are searched for repeats
// at the default level and shrink far below what literals could do.
TEST(ParallelGzip, NoiseComesNearItsEntropyAndRepeatsShrinkFurther) {
  const std::string noise = noisyFloats(std::size_t{3} << 20, 3);
  const double bound = entropyBytes(noise);
  for (int level = kMinGzipLevel; level <= kMaxGzipLevel; ++level) {
    const std::string gzip = compressed(noise, level, 2, kGzipPieceBytes, 1 << 16);
    EXPECT_TRUE(inflateOneMember(gzip) == noise) << "level " << level;
    const auto size = static_cast<double>(gzip.size());
    EXPECT_GT(size, bound) << "level " << level;
    EXPECT_LT(size, bound * 1.01) << "level " << level;
  }
  EXPECT_EQ(compressed(noise, kDefaultGzipLevel, 2, kGzipPieceBytes, 1 << 16),
            compressed(noise, kMinGzipLevel, 2, kGzipPieceBytes, 1 << 16));
  std::string repeats;
  while (repeats.size() < (std::size_t{1} << 20)) repeats += "the same few words again ";
  EXPECT_LT(compressed(repeats, kDefaultGzipLevel, 2, kGzipPieceBytes, 1 << 16).size(), 1u << 14);
  EXPECT_GT(compressed(repeats, kMinGzipLevel, 2, kGzipPieceBytes, 1 << 16).size(), 1u << 16);
}

// The code of a long piece comes from a sample of its bytes: a byte value found
// only between the sampled lines is coded all the same.
TEST(ParallelGzip, ByteValuesTheSampleMissedAreCodedAllTheSame) {
  std::mt19937 random(11);
  std::string letters(std::size_t{1} << 20, '\0');
  for (char& letter : letters) letter = static_cast<char>('A' + random() % 32);
  for (std::size_t at = 100; at < letters.size(); at += 512 * 97) letters[at] = '\x01';
  for (const int level : {kMinGzipLevel, kDefaultGzipLevel})
    EXPECT_TRUE(inflateOneMember(compressed(letters, level, 2, kGzipPieceBytes, 1 << 16)) == letters)
        << "level " << level;
}

// Leaves a stretch of the stack below the caller filled with `value`, as an
// earlier call of any depth would leave it.
[[gnu::noinline]] void scribbleOnStack(uint16_t value) {
  volatile uint16_t junk[1 << 18];
  for (auto& word : junk) word = value;
}

// A resumed dataset checks its files by their bytes: the stream must depend on
// the input alone, not on what the memory the compressor starts from held (a
// window size of 2^9 bytes left there once made shorter streams).
TEST(ParallelGzip, TheSameInputGivesTheSameStreamWhateverTheStackHeld) {
  std::string input(348, '\0');  // mostly zeros, as a header is, then words
  while (input.size() < (std::size_t{1} << 16)) input += "a header, then the same words " + std::to_string(input.size() % 1000);
  for (int level = kMinGzipLevel; level <= kMaxGzipLevel; ++level) {
    scribbleOnStack(0);
    const std::string clean = compressed(input, level, 1, kGzipPieceBytes, 1 << 16);
    scribbleOnStack(9);
    EXPECT_EQ(compressed(input, level, 1, kGzipPieceBytes, 1 << 16), clean) << "level " << level;
  }
}

}  // namespace
}  // namespace cohortix::host
