#include "simulation/random/block_kernels.h"

namespace cohortix {

namespace {

// Null until the first call, so that nothing runs when the library is loaded.
const BlockKernels* chosenKernels = nullptr;

}  // namespace

const BlockKernels& blockKernels() {
  if (chosenKernels == nullptr) {
    const BlockKernels* avx2 = avx2BlockKernels();
    chosenKernels = avx2 != nullptr ? avx2 : &genericBlockKernels();
  }
  return *chosenKernels;
}

void chooseBlockKernels(const BlockKernels& kernels) { chosenKernels = &kernels; }

}  // namespace cohortix
