#pragma once
// The shuffle table run over states the generator made beforehand. Each draw's
// table value chooses the slot of the next one, so the draws form one chain; it is
// kept to a single load per draw, and everything else is done outside it.

#include <cstddef>
#include <cstdint>

#include "simulation/random/random_state.h"

namespace cohortix {

class ShuffleChain {
 public:
  // The state must be initialised.
  explicit ShuffleChain(const RandomState& state);
  ShuffleChain(const ShuffleChain&) = delete;
  ShuffleChain& operator=(const ShuffleChain&) = delete;

  // Where the chain stands: the slot that the next draw takes, and the value that
  // the last one returned. Kept apart from the table, in a local variable of the
  // drawing loop, so that the compiler can hold it in registers: stores into the
  // table could otherwise stand for it.
  struct Slot;
  struct Cursor {
    Slot* chosen;
    int32_t lastOutput;
  };

  Cursor cursor() const { return cursor_; }
  void moveTo(const Cursor& cursor) { cursor_ = cursor; }

  // The table value that a uniform draw returns when it generates the given state.
  [[gnu::always_inline]] int32_t next(Cursor& cursor, int32_t generated) {
    Slot* const taken = cursor.chosen;
    cursor.chosen = taken->next;
    cursor.lastOutput = taken->value;
    *taken = {slotChosenBy(generated), generated};
    return cursor.lastOutput;
  }

  // The table and the last output as the draws left them.
  void storeInto(RandomState& state) const;

  // A table entry with the address of the entry that its value chooses, so that
  // going from one draw to the next is one load and no arithmetic.
  struct Slot {
    Slot* next;
    int32_t value;
  };

 private:
  // Table values are positive: the slot is the top five of their 31 bits.
  [[gnu::always_inline]] Slot* slotChosenBy(int32_t value) {
    return &slots_[static_cast<uint32_t>(value) >> 26];
  }

  Slot slots_[kShuffleTableSize];
  Cursor cursor_;
};

}  // namespace cohortix
