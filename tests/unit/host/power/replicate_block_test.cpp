// Blocks of a power analysis's replicates: B blocks cover replicates 0 .. R - 1 in
// order, each once, in sizes that differ by one at most, whatever R and B.

#include <gtest/gtest.h>

#include <algorithm>

#include "host/power/replicate_block.h"

namespace cohortix::host {
namespace {

TEST(ReplicateBlock, BlocksCoverTheReplicatesInOrderOnceInNearlyEqualSizes) {
  for (int32_t replicates : {1, 2, 7, 100, 1001, 1000000})
    for (int32_t blocks : {1, 2, 3, 7, 10, 999, 1000000}) {
      if (blocks > replicates) continue;
      int32_t next = 0, smallest = replicates, largest = 0;
      for (int32_t k = 1; k <= blocks; ++k) {
        const ReplicateRange range = replicateRangeOf({k, blocks}, replicates);
        ASSERT_EQ(range.first, next) << k << "/" << blocks << " of " << replicates;
        next += range.count;
        smallest = std::min(smallest, range.count);
        largest = std::max(largest, range.count);
      }
      EXPECT_EQ(next, replicates);
      EXPECT_GE(smallest, 1);
      EXPECT_LE(largest - smallest, 1);
    }
  ASSERT_TRUE(parseReplicateBlock("3/10").isOk());
  EXPECT_EQ(replicateBlockText(parseReplicateBlock("3/10").value()), "3/10");
  for (const char* wrong : {"0/3", "4/3", "3", "/3", "3/", "a/b", "1/3x", "-1/3", "1/0"})
    EXPECT_FALSE(parseReplicateBlock(wrong).isOk()) << wrong;
}

}  // namespace
}  // namespace cohortix::host
