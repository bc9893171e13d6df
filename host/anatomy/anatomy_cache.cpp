#include "host/anatomy/anatomy_cache.h"

#include <isa-l/crc64.h>
#include <nifti1_io.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <system_error>
#include <vector>

namespace cohortix::host::anatomy {
namespace {

namespace fs = std::filesystem;

// Bumped whenever what is derived changes.
constexpr char kCacheFormat[] = "cohortix-anatomy-1";
constexpr int kChannels = 8;

struct NiftiFree {
  void operator()(nifti_image* image) const { nifti_image_free(image); }
};
using NiftiImage = std::unique_ptr<nifti_image, NiftiFree>;

uint64_t checksumOf(const fs::path& file, uint64_t crc) {
  std::ifstream in(file, std::ios::binary);
  std::vector<char> buffer(1 << 20);
  while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0)
    crc = crc64_ecma_refl(crc, reinterpret_cast<const uint8_t*>(buffer.data()),
                          static_cast<uint64_t>(in.gcount()));
  return crc;
}

std::optional<fs::path> cacheFolder() {
  if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg != nullptr && *xdg == '/')
    return fs::path(xdg) / "cohortix" / "anatomy";
  if (const char* home = std::getenv("HOME"); home != nullptr && *home == '/')
    return fs::path(home) / ".cache" / "cohortix" / "anatomy";
  return std::nullopt;
}

std::vector<uint8_t>* channel(Anatomy& anatomy, int c) {
  switch (c) {
    case 0: return &anatomy.head;
    case 1: return &anatomy.brain;
    case 2: return &anatomy.tissue[kCsf];
    case 3: return &anatomy.tissue[kGrey];
    case 4: return &anatomy.tissue[kWhite];
    case 5: return &anatomy.aal;
    case 6: return &anatomy.brodmann;
    default: return &anatomy.harvardOxford;
  }
}

std::optional<Anatomy> readCache(const fs::path& file, const AnatomySources& sources) {
  std::error_code error;
  if (!fs::is_regular_file(file, error)) return std::nullopt;
  nifti_set_debug_level(0);
  const NiftiImage image(nifti_image_read(file.c_str(), 1));
  if (image == nullptr || image->datatype != NIFTI_TYPE_UINT8 || image->dim[0] != 4 ||
      image->dim[4] != kChannels || image->data == nullptr)
    return std::nullopt;
  Anatomy anatomy;
  for (int r = 0; r < 3; ++r) {
    anatomy.grid.start[r] = static_cast<int32_t>(r == 0 ? image->intent_p1 : r == 1 ? image->intent_p2 : image->intent_p3);
    anatomy.grid.dims[r] = image->dim[r + 1];
  }
  const std::size_t voxels = anatomy.grid.voxels();
  if (static_cast<std::size_t>(image->nvox) != voxels * kChannels) return std::nullopt;
  const auto* bytes = static_cast<const uint8_t*>(image->data);
  const bool atlases[3] = {!sources.aal.empty(), !sources.brodmann.empty(), !sources.harvardOxford.empty()};
  for (int c = 0; c < kChannels; ++c) {
    if (c >= 5 && !atlases[c - 5]) continue;
    channel(anatomy, c)->assign(bytes + c * voxels, bytes + (c + 1) * voxels);
  }
  return anatomy;
}

// Written under a temporary name and renamed, so a reader never meets half a file.
void writeCache(const fs::path& file, Anatomy& anatomy) {
  std::error_code error;
  fs::create_directories(file.parent_path(), error);
  if (error) return;
  const std::size_t voxels = anatomy.grid.voxels();
  std::vector<uint8_t> bytes(voxels * kChannels, 0);
  for (int c = 0; c < kChannels; ++c) {
    const std::vector<uint8_t>& values = *channel(anatomy, c);
    if (values.size() == voxels) std::memcpy(bytes.data() + c * voxels, values.data(), voxels);
  }
  int dims[8] = {4, anatomy.grid.dims[0], anatomy.grid.dims[1], anatomy.grid.dims[2], kChannels, 1, 1, 1};
  const NiftiImage image(nifti_make_new_nim(dims, NIFTI_TYPE_UINT8, 0));
  if (image == nullptr) return;
  image->intent_p1 = static_cast<float>(anatomy.grid.start[0]);
  image->intent_p2 = static_cast<float>(anatomy.grid.start[1]);
  image->intent_p3 = static_cast<float>(anatomy.grid.start[2]);
  std::snprintf(image->descrip, sizeof image->descrip, "%s", kCacheFormat);
  fs::path temporary = file;
  temporary.replace_extension(".tmp-" + std::to_string(::getpid()) + ".nii");
  image->data = bytes.data();
  if (nifti_set_filenames(image.get(), temporary.c_str(), 0, 0) == 0) {
    nifti_set_debug_level(0);
    nifti_image_write(image.get());
  }
  image->data = nullptr;
  fs::rename(temporary, file, error);
  if (error) fs::remove(temporary, error);
}

}  // namespace

std::optional<fs::path> cacheFileOf(const AnatomySources& sources) {
  const std::optional<fs::path> folder = cacheFolder();
  if (!folder) return std::nullopt;
  uint64_t crc = crc64_ecma_refl(0, reinterpret_cast<const uint8_t*>(kCacheFormat), sizeof kCacheFormat);
  for (const fs::path& file : {sources.head, sources.brain, sources.aal, sources.brodmann, sources.harvardOxford})
    crc = file.empty() ? crc64_ecma_refl(crc, reinterpret_cast<const uint8_t*>("-"), 1) : checksumOf(file, crc);
  crc = crc64_ecma_refl(crc, reinterpret_cast<const uint8_t*>(sources.talairach ? "T" : "M"), 1);
  // A user's own image may be a whole head, whose brain is extracted since: an
  // anatomy cached before that is not read back.
  if (sources.head == sources.brain) crc = crc64_ecma_refl(crc, reinterpret_cast<const uint8_t*>("X"), 1);
  if (!sources.mask.empty()) crc = checksumOf(sources.mask, crc);
  char name[32];
  std::snprintf(name, sizeof name, "%016llx.nii", static_cast<unsigned long long>(crc));
  return *folder / name;
}

Result<Anatomy> cachedAnatomy(const AnatomySources& sources, bool* cached) {
  if (Status ok = checkSources(sources); !ok) return ok;
  const auto started = std::chrono::steady_clock::now();
  const std::optional<fs::path> file = cacheFileOf(sources);
  if (file)
    if (std::optional<Anatomy> kept = readCache(*file, sources)) {
      kept->secondsToBuild = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
      if (cached != nullptr) *cached = true;
      return std::move(*kept);
    }
  Result<Anatomy> built = buildAnatomy(sources);
  if (built && file) writeCache(*file, built.value());
  if (cached != nullptr) *cached = false;
  return built;
}

}  // namespace cohortix::host::anatomy
