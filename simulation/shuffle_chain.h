#pragma once
// The shuffle table run over states the generator made beforehand. Each draw's
// table value chooses the slot of the next one, so the draws form one chain; it is
// kept to a single load per draw, and everything else is done outside it.

#include <cstddef>
#include <cstdint>

#include "simulation/random_state.h"

namespace cohortix {

class ShuffleChain {
 public:
  // The state must be initialised.
  explicit ShuffleChain(const RandomState& state);
  ShuffleChain(const ShuffleChain&) = delete;
  ShuffleChain& operator=(const ShuffleChain&) = delete;

  // out[k] = the table value that uniform draw k returns when generated[k] is the
  // state that it generates.
  void draw(const int32_t* generated, int32_t* out, std::size_t n);

  // The table and the last output as the draws left them.
  void storeInto(RandomState& state) const;

 private:
  // A table entry with the address of the entry that its value chooses, so that
  // going from one draw to the next is one load and no arithmetic.
  struct Slot {
    Slot* next;
    int32_t value;
  };

  Slot* slotChosenBy(int32_t value);

  Slot slots_[kShuffleTableSize];
  Slot* chosen_;
  int32_t lastOutput_;
};

}  // namespace cohortix
