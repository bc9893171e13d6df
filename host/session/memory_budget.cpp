#include "host/session/memory_budget.h"

#include <sys/resource.h>

#include <algorithm>
#include <exception>
#include <initializer_list>
#include <cstdio>
#include <fstream>
#include <string>

#include "control/vtc_geometry.h"
#include "host/documents/vtc_document.h"

namespace cohortix::host {
namespace {

// What the process holds besides the run's data: its code and libraries, thread
// stacks, the allocator's arenas, documents and buffers of one subject.
constexpr uint64_t kProcessBytes = uint64_t{256} << 20;

// A control group's limit in bytes ("max" and unreadable files are no limit).
uint64_t limitInFile(const std::string& path) {
  std::ifstream file(path);
  std::string text;
  if (!(file >> text) || text.empty() || text == "max") return 0;
  try {
    return std::stoull(text);
  } catch (const std::exception&) {
    return 0;
  }
}

// The limit of the process's own control group (v2), or of the v1 memory controller.
uint64_t controlGroupLimit() {
  std::ifstream groups("/proc/self/cgroup");
  std::string line;
  while (std::getline(groups, line)) {
    if (line.rfind("0::", 0) != 0) continue;
    if (const uint64_t limit = limitInFile("/sys/fs/cgroup" + line.substr(3) + "/memory.max"))
      return limit;
  }
  if (const uint64_t limit = limitInFile("/sys/fs/cgroup/memory.max")) return limit;
  const uint64_t v1 = limitInFile("/sys/fs/cgroup/memory/memory.limit_in_bytes");
  // v1 reports "no limit" as a number near 2^63.
  return v1 >= (uint64_t{1} << 62) ? 0 : v1;
}

void consider(MemoryLimit& smallest, uint64_t bytes, const char* what) {
  if (bytes == 0 || (smallest.bytes != 0 && smallest.bytes <= bytes)) return;
  smallest = {bytes, what};
}

}  // namespace

uint64_t saturatedProduct(std::initializer_list<uint64_t> factors) {
  uint64_t product = 1;
  for (const uint64_t factor : factors)
    if (__builtin_mul_overflow(product, factor, &product)) return UINT64_MAX;
  return product;
}

uint64_t saturatedSum(uint64_t a, uint64_t b) { return a > UINT64_MAX - b ? UINT64_MAX : a + b; }

uint64_t processBytes() { return kProcessBytes; }

MemoryNeed memoryNeedOf(const SimulationDesign& design, bool exports) {
  const cohortix::VTCDims dims = vtcDims(vtcBoxOf(design));
  MemoryNeed need;
  const auto positive = [](int32_t n) { return static_cast<uint64_t>(std::max(n, 0)); };
  need.vtcBytes = saturatedProduct({sizeof(float), positive(dims.DimX), positive(dims.DimY),
                                    positive(dims.DimZ), positive(design.NrOfVolumes)});
  // The document and the writer's staged copy; an export builds one more image.
  const uint64_t copies = exports ? 3 : 2;
  need.totalBytes = saturatedSum(saturatedProduct({need.vtcBytes, copies}), kProcessBytes);
  return need;
}

MemoryLimit memoryLimit() {
  MemoryLimit smallest;
  consider(smallest, physicalMemoryBytes(), "the machine's physical memory");
  rlimit space{};
  if (::getrlimit(RLIMIT_AS, &space) == 0 && space.rlim_cur != RLIM_INFINITY)
    consider(smallest, space.rlim_cur, "the process's address-space limit (ulimit -v)");
  consider(smallest, controlGroupLimit(), "the memory limit of its control group");
  return smallest;
}

Status checkRunMemory(const MemoryNeed& need, const MemoryLimit& limit) {
  if (limit.bytes == 0 || need.totalBytes <= limit.bytes) return Status::ok();
  return Status::error("the run needs about " + byteSize(need.totalBytes) +
                       " of memory (its VTC of " + byteSize(need.vtcBytes) +
                       ", the copy being written and the exports' buffers) but may use " +
                       byteSize(limit.bytes) + ", " + limit.what +
                       "; use fewer volumes, a coarser resolution or a smaller box");
}

std::string byteSize(uint64_t bytes) {
  char text[48];
  if (bytes >= uint64_t{1000} * 1000 * 1000)
    std::snprintf(text, sizeof text, "%.1f GB", static_cast<double>(bytes) / 1e9);
  else if (bytes < uint64_t{1000} * 1000)
    std::snprintf(text, sizeof text, "%.0f kB", static_cast<double>(bytes) / 1e3);
  else
    std::snprintf(text, sizeof text, "%.0f MB", static_cast<double>(bytes) / 1e6);
  return text;
}

}  // namespace cohortix::host
