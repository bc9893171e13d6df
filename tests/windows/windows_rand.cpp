// rand() and srand() with the sequence of the Windows C library, to be preloaded
// into a Linux process (LD_PRELOAD): a Linux run then draws the same trial orders
// as the Windows plug-in, and the two runs must agree everywhere. The generator:
// state = state * 214013 + 2531011 (mod 2^32), the result bits 16 to 30 of the
// new state; the state is 1 until srand sets it.

#include <cstdint>

namespace {
uint32_t gState = 1;
}

extern "C" __attribute__((visibility("default"))) int rand() {
  gState = gState * 214013u + 2531011u;
  return static_cast<int>((gState >> 16) & 0x7fffu);
}

extern "C" __attribute__((visibility("default"))) void srand(unsigned seed) { gState = seed; }
