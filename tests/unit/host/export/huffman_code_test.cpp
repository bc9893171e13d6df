#include "host/export/huffman_code.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace cohortix::host {
namespace {

// Frequencies from flat to steeply falling (Fibonacci-like, whose Huffman code is
// as deep as there are symbols), with and without unused symbols, and the
// degenerate ones: no symbol, one symbol.
std::vector<std::vector<uint64_t>> frequencySets() {
  std::vector<std::vector<uint64_t>> sets = {{}, {0, 0, 0}, {0, 5, 0}, {1, 1}, {7, 0, 0, 1}};
  std::vector<uint64_t> fibonacci = {1, 1};
  while (fibonacci.size() < 40) fibonacci.push_back(fibonacci.end()[-1] + fibonacci.end()[-2]);
  sets.push_back(fibonacci);
  std::mt19937_64 random(11);
  for (int set = 0; set < 50; ++set) {
    std::vector<uint64_t> counts(257);
    const double steepness = 0.02 * set;
    for (std::size_t s = 0; s < counts.size(); ++s)
      counts[s] = random() % 3 == 0 ? 0 : 1 + static_cast<uint64_t>(1e6 * std::exp(-steepness * s));
    sets.push_back(counts);
  }
  return sets;
}

// A complete prefix code (the lengths' Kraft sum is exactly one) no deeper than
// asked, with a code for every symbol that occurs and for at least two. (That the
// canonical codes decode is for the compressor's tests, through zlib.)
TEST(HuffmanCode, CompleteLimitedPrefixCodesForAnyFrequencies) {
  for (const std::vector<uint64_t>& frequencies : frequencySets()) {
    for (const int limit : {7, 9, 14}) {
      if (frequencies.size() > (std::size_t{1} << limit)) continue;  // no such code
      std::vector<uint64_t> padded = frequencies;
      padded.resize(std::max<std::size_t>(padded.size(), 2), 0);
      const std::vector<uint8_t> lengths = limitedHuffmanLengths(padded, limit);
      ASSERT_EQ(lengths.size(), padded.size());
      double kraft = 0;
      int coded = 0;
      for (std::size_t s = 0; s < lengths.size(); ++s) {
        EXPECT_LE(lengths[s], limit);
        if (padded[s] > 0) {
          EXPECT_GT(lengths[s], 0) << "symbol " << s;
        }
        if (lengths[s] > 0) {
          kraft += std::ldexp(1.0, -lengths[s]);
          ++coded;
        }
      }
      EXPECT_GE(coded, 2);
      EXPECT_DOUBLE_EQ(kraft, 1.0) << frequencies.size() << " symbols, limit " << limit;
    }
  }
}

}  // namespace
}  // namespace cohortix::host
