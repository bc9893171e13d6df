#include "host/power/replicate_block.h"

#include <charconv>

namespace cohortix::host {
namespace {

bool wholeNumber(std::string_view text, int32_t& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

}  // namespace

ReplicateRange replicateRangeOf(ReplicateBlock block, int32_t replicates) {
  const auto edge = [&](int64_t k) { return static_cast<int32_t>(k * replicates / block.count); };
  const int32_t first = edge(block.index - 1);
  return {first, edge(block.index) - first};
}

Result<ReplicateBlock> parseReplicateBlock(const std::string& text) {
  const std::size_t slash = text.find('/');
  ReplicateBlock block;
  if (slash == std::string::npos || !wholeNumber(std::string_view(text).substr(0, slash), block.index) ||
      !wholeNumber(std::string_view(text).substr(slash + 1), block.count) || block.count < 1 ||
      block.index < 1 || block.index > block.count)
    return Status::error("expected a block as K/B with 1 <= K <= B (say 3/10), found \"" + text + "\"");
  return block;
}

std::string replicateBlockText(ReplicateBlock block) {
  return std::to_string(block.index) + "/" + std::to_string(block.count);
}

}  // namespace cohortix::host
