// Feeds arbitrary bytes to the control-file reader as the content of a file. Every
// input must either be read or be refused with a message; an accepted design must
// keep every count within the capacities the run indexes with, every text
// terminated inside its field, and an experiment name that names a file in the
// output folder and nowhere else.

#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "control/control_file_reader.h"
#include "control/simulation_design.h"
#include "control/vtc_geometry.h"

namespace {

// The input as a file in memory, reopened by path for every read.
class InputFile {
 public:
  InputFile() : fd_(memfd_create("control-file", 0)) {
    std::snprintf(path_, sizeof path_, "/proc/self/fd/%d", fd_);
  }
  void write(const uint8_t* data, size_t size) {
    if (ftruncate(fd_, 0) != 0 || pwrite(fd_, data, size, 0) != static_cast<ssize_t>(size))
      __builtin_trap();
  }
  const char* path() const { return path_; }

 private:
  int fd_;
  char path_[64];
};

void require(bool holds) {
  if (!holds) __builtin_trap();
}

bool terminated(const char* text, size_t capacity) {
  return std::memchr(text, '\0', capacity) != nullptr;
}

void checkFactor(const cohortix::DesignFactor& factor) {
  require(terminated(factor.FactorName, sizeof factor.FactorName));
  require(factor.NrOfLevels >= 0 && factor.NrOfLevels <= cohortix::kMaxLevels);
  for (int l = 0; l < factor.NrOfLevels; ++l)
    require(terminated(factor.Levels[l].LevelName, sizeof factor.Levels[l].LevelName));
}

void checkExperimentName(const char* name) {
  require(terminated(name, cohortix::kMaxExperimentNameLength + 1));
  require(std::strchr(name, '/') == nullptr && std::strchr(name, '\\') == nullptr);
  require(std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0);
  for (const char* c = name; *c != '\0'; ++c) require(static_cast<unsigned char>(*c) >= 0x20);
}

void checkRegions(const cohortix::SimulationDesign& d) {
  require(d.NrOfRegions >= 0 && d.NrOfRegions <= cohortix::kMaxRegions);
  for (int r = 0; r < d.NrOfRegions; ++r) {
    require(std::fabs(d.Regions[r].Radius) <= 256.0f);
    require(std::fabs(d.Regions[r].CenterSD) <= 256.0f);
  }
}

void checkVolumeTimeCourse(const cohortix::SimulationDesign& d) {
  require(d.Resolution >= 1);
  const cohortix::VTCDims dims = cohortix::vtcDims(cohortix::vtcBoxOf(d));
  require(cohortix::vtcValueCount(dims, d.NrOfVolumes) <= INT64_MAX / 4);
}

void checkAccepted(const cohortix::SimulationDesign& d) {
  require(d.FileVersion <= 1);
  require(d.NrOfWithinFactors <= cohortix::kMaxWithinFactors);
  require(d.NrOfBetweenFactors <= cohortix::kMaxBetweenFactors);
  for (int f = 0; f < d.NrOfWithinFactors; ++f) checkFactor(d.WithinFactors[f]);
  for (int f = 0; f < d.NrOfBetweenFactors; ++f) checkFactor(d.BetweenFactors[f]);
  checkExperimentName(d.ExperimentName);
  require(d.BalancedDesign);
  require(d.NrOfWithinCells >= 0 && d.NrOfWithinCells <= cohortix::kMaxWithinCells);
  require(d.NrOfEffectRows >= 0 && d.NrOfEffectRows <= cohortix::kMaxEffectRows);
  require(d.NrOfVolumes >= 0 && d.NrOfSubjects >= 0);
  checkRegions(d);
  checkVolumeTimeCourse(d);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static InputFile file;
  // Too large for the stack; every input starts from a fresh design all the same.
  static cohortix::SimulationDesign design;
  file.write(data, size);
  design = cohortix::SimulationDesign{};
  std::string message;
  if (cohortix::parseControlFile(file.path(), design, message))
    checkAccepted(design);
  else
    require(!message.empty());
  return 0;
}
