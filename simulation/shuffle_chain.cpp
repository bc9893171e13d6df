#include "simulation/shuffle_chain.h"

namespace cohortix {

// Table values are positive: the slot is the top five of their 31 bits.
ShuffleChain::Slot* ShuffleChain::slotChosenBy(int32_t value) {
  return &slots_[static_cast<uint32_t>(value) >> 26];
}

ShuffleChain::ShuffleChain(const RandomState& state)
    : slots_{}, chosen_(nullptr), lastOutput_(state.LastShuffleOutput) {
  for (int j = 0; j < kShuffleTableSize; ++j)
    slots_[j] = {slotChosenBy(state.ShuffleTable[j]), state.ShuffleTable[j]};
  chosen_ = slotChosenBy(lastOutput_);
}

void ShuffleChain::draw(const int32_t* generated, int32_t* out, std::size_t n) {
  Slot* chosen = chosen_;
  for (std::size_t k = 0; k < n; ++k) {
    Slot* const taken = chosen;
    chosen = taken->next;
    out[k] = taken->value;
    *taken = {slotChosenBy(generated[k]), generated[k]};
  }
  chosen_ = chosen;
  if (n > 0) lastOutput_ = out[n - 1];
}

void ShuffleChain::storeInto(RandomState& state) const {
  for (int j = 0; j < kShuffleTableSize; ++j) state.ShuffleTable[j] = slots_[j].value;
  state.LastShuffleOutput = lastOutput_;
}

}  // namespace cohortix
