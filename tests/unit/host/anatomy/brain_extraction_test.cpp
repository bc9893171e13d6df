// The brain of a synthetic head: a bright ball inside a dark skull and a bright
// scalp, joined to the scalp by a thin bridge (as the optic nerves and dura join
// a real brain to the rest of the head). The extraction keeps the ball and drops
// the scalp; the ball alone counts as a brain already, the head does not.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "host/anatomy/brain_extraction.h"

namespace cohortix::host::anatomy {
namespace {

constexpr int kSide = 90;
constexpr double kBrain = 28, kSkull = 34, kScalp = 39;

NiftiVolume headImage(bool scalp) {
  NiftiVolume image;
  image.dims = {kSide, kSide, kSide};
  for (int r = 0; r < 3; ++r) image.affine[r][r] = 1.0;
  image.data.assign(static_cast<std::size_t>(kSide) * kSide * kSide, 0.0f);
  std::size_t v = 0;
  for (int z = 0; z < kSide; ++z)
    for (int y = 0; y < kSide; ++y)
      for (int x = 0; x < kSide; ++x, ++v) {
        const double d = std::hypot(x - 45.0, y - 45.0, z - 45.0);
        const bool bridge = std::abs(x - 45) <= 1 && std::abs(y - 45) <= 1 && z > 45;
        if (d <= kBrain) image.data[v] = 100.0f + static_cast<float>((x * 7 + y * 3 + z) % 11);
        else if (scalp && d <= kSkull) image.data[v] = bridge ? 100.0f : 8.0f;
        else if (scalp && d <= kScalp) image.data[v] = 120.0f;
      }
  return image;
}

TEST(BrainExtraction, KeepsTheBrainDropsTheScalpAndKnowsABrainAlone) {
  const NiftiVolume head = headImage(true);
  const std::vector<uint8_t> brain = derivedBrainMask(head);
  std::size_t both = 0, found = 0, truth = 0, scalp = 0;
  std::size_t v = 0;
  for (int z = 0; z < kSide; ++z)
    for (int y = 0; y < kSide; ++y)
      for (int x = 0; x < kSide; ++x, ++v) {
        const double d = std::hypot(x - 45.0, y - 45.0, z - 45.0);
        const bool inBrain = d <= kBrain;
        truth += inBrain, found += brain[v], both += inBrain && brain[v];
        scalp += d > kSkull && brain[v];
      }
  EXPECT_GE(2.0 * both / (found + truth), 0.98);
  EXPECT_EQ(scalp, 0u);
  EXPECT_FALSE(isBrainAlone(head, brain));
  const NiftiVolume alone = headImage(false);
  EXPECT_TRUE(isBrainAlone(alone, derivedBrainMask(alone)));
}

}  // namespace
}  // namespace cohortix::host::anatomy
