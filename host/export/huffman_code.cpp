#include "host/export/huffman_code.h"

#include <algorithm>
#include <functional>
#include <queue>
#include <utility>

namespace cohortix::host {
namespace {

// Huffman's code lengths of the symbols with a frequency above zero.
std::vector<uint8_t> huffmanLengths(std::span<const uint64_t> frequencies) {
  struct Node {
    int left = -1, right = -1;
  };
  std::vector<Node> nodes;
  std::vector<int> leafOf(frequencies.size(), -1);
  using Entry = std::pair<uint64_t, int>;  // frequency, node: ties go to the older node
  std::priority_queue<Entry, std::vector<Entry>, std::greater<>> queue;
  for (std::size_t symbol = 0; symbol < frequencies.size(); ++symbol) {
    if (frequencies[symbol] == 0) continue;
    leafOf[symbol] = static_cast<int>(nodes.size());
    nodes.push_back({});
    queue.emplace(frequencies[symbol], leafOf[symbol]);
  }
  while (queue.size() > 1) {
    const Entry first = queue.top();
    queue.pop();
    const Entry second = queue.top();
    queue.pop();
    nodes.push_back({first.second, second.second});
    queue.emplace(first.first + second.first, static_cast<int>(nodes.size() - 1));
  }
  // Depths from the root down: a parent always comes after its children.
  std::vector<uint8_t> depth(nodes.size(), 0);
  for (std::size_t n = nodes.size(); n-- > 0;) {
    const Node& node = nodes[n];
    if (node.left < 0) continue;
    depth[static_cast<std::size_t>(node.left)] = static_cast<uint8_t>(depth[n] + 1);
    depth[static_cast<std::size_t>(node.right)] = static_cast<uint8_t>(depth[n] + 1);
  }
  std::vector<uint8_t> lengths(frequencies.size(), 0);
  for (std::size_t symbol = 0; symbol < frequencies.size(); ++symbol)
    if (leafOf[symbol] >= 0) lengths[symbol] = depth[static_cast<std::size_t>(leafOf[symbol])];
  return lengths;
}

}  // namespace

std::vector<uint8_t> limitedHuffmanLengths(std::span<const uint64_t> frequencies, int maxLength) {
  std::vector<uint64_t> counts(frequencies.begin(), frequencies.end());
  // One symbol alone would get no bits at all: a second one, never used, completes
  // the code.
  auto used = std::count_if(counts.begin(), counts.end(), [](uint64_t c) { return c > 0; });
  for (std::size_t symbol = 0; used < 2 && symbol < counts.size(); ++symbol)
    if (counts[symbol] == 0) {
      counts[symbol] = 1;
      ++used;
    }
  for (;;) {
    std::vector<uint8_t> lengths = huffmanLengths(counts);
    if (*std::max_element(lengths.begin(), lengths.end()) <= maxLength) return lengths;
    // Flatter frequencies give a shallower tree; all equal, the tree is balanced.
    for (uint64_t& count : counts)
      if (count > 0) count = (count >> 1) | 1;
  }
}

std::vector<uint16_t> canonicalCodes(std::span<const uint8_t> lengths) {
  constexpr int kMaxBits = 16;
  std::vector<uint16_t> countOfLength(kMaxBits + 1, 0);
  for (const uint8_t length : lengths) ++countOfLength[length];
  countOfLength[0] = 0;
  std::vector<uint16_t> next(kMaxBits + 1, 0);
  uint32_t code = 0;
  for (int bits = 1; bits <= kMaxBits; ++bits) {
    code = (code + countOfLength[static_cast<std::size_t>(bits - 1)]) << 1;
    next[static_cast<std::size_t>(bits)] = static_cast<uint16_t>(code);
  }
  std::vector<uint16_t> codes(lengths.size(), 0);
  for (std::size_t symbol = 0; symbol < lengths.size(); ++symbol) {
    const int length = lengths[symbol];
    if (length == 0) continue;
    const uint32_t canonical = next[static_cast<std::size_t>(length)]++;
    uint32_t reversed = 0;
    for (int bit = 0; bit < length; ++bit) reversed |= ((canonical >> bit) & 1u) << (length - 1 - bit);
    codes[symbol] = static_cast<uint16_t>(reversed);
  }
  return codes;
}

}  // namespace cohortix::host
