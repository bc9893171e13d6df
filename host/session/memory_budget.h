#pragma once
// Whether a run fits in the memory it may use, judged before it starts: the VTC
// document, the writer's staged copy of it and the exports' buffers against the
// machine's physical memory, the process's address-space limit and its control
// group's limit, whichever is smallest.

#include <cstdint>
#include <initializer_list>
#include <string>

#include "control/simulation_design.h"
#include "host/io/status.h"

namespace cohortix::host {

struct MemoryNeed {
  uint64_t vtcBytes = 0;    // one copy of the VTC's data
  uint64_t totalBytes = 0;  // everything the run holds at once
};

// Byte counts that saturate at the largest instead of overflowing.
uint64_t saturatedProduct(std::initializer_list<uint64_t> factors);
uint64_t saturatedSum(uint64_t a, uint64_t b);
// What any command holds besides its data: code, libraries, stacks, arenas.
uint64_t processBytes();

// `design` has its derived counts. Saturates instead of overflowing.
MemoryNeed memoryNeedOf(const SimulationDesign& design, bool exports);

struct MemoryLimit {
  uint64_t bytes = 0;  // 0: nothing could be told
  std::string what;    // "physical memory", "the address-space limit (ulimit -v)", ...
};

// The smallest of the limits that can be read here.
MemoryLimit memoryLimit();

// A refusal that says what the run needs, what it may use and what to change.
Status checkRunMemory(const MemoryNeed& need, const MemoryLimit& limit);

// "12.6 GB", "840 MB", "45 kB".
std::string byteSize(uint64_t bytes);

}  // namespace cohortix::host
