#include "simulation/random/shuffle_chain.h"

namespace cohortix {

ShuffleChain::ShuffleChain(const RandomState& state)
    : slots_{}, cursor_{nullptr, state.LastShuffleOutput} {
  for (int j = 0; j < kShuffleTableSize; ++j)
    slots_[j] = {slotChosenBy(state.ShuffleTable[j]), state.ShuffleTable[j]};
  cursor_.chosen = slotChosenBy(state.LastShuffleOutput);
}

void ShuffleChain::storeInto(RandomState& state) const {
  for (int j = 0; j < kShuffleTableSize; ++j) state.ShuffleTable[j] = slots_[j].value;
  state.LastShuffleOutput = cursor_.lastOutput;
}

}  // namespace cohortix
