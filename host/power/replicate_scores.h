#pragma once
// What one replicate's maps found, test by test, as counts, and the tallies that
// turn the replicates' counts into the power table's estimates. Counts are exact,
// so replicates scored in different processes (blocks of a power analysis run on a
// cluster) tally, in replicate order, to the very table one process makes.

#include <cstdint>
#include <vector>

#include "host/power/power_tally.h"

namespace cohortix::host {

// One replicate's maps of one test.
struct TestScore {
  struct Region {
    int64_t found = 0;   // significant voxels of the region
    int64_t voxels = 0;  // the region's voxels (0: a region without voxels)
    bool roi = false;    // the region-mean test rejected
  };
  std::vector<Region> regions;
  int64_t tested = 0;           // voxels of the map
  int64_t nullTested = 0;       // null voxels with a p-value
  int64_t falsePositives = 0;   // of those, significant
  int64_t trueDiscoveries = 0;  // significant voxels of regions with a true effect
};

// One replicate's scores, one per test.
using ReplicateScores = std::vector<TestScore>;

// One estimate of the table with the replicates it is over.
struct RowEstimate {
  Estimate estimate;
  int64_t replicates = 0;
};

// Over the replicates of one sample size, one test.
struct TestTallies {
  struct Region {
    ProportionTally detection;
    MeanTally sensitivity;
    ProportionTally roi;
  };
  std::vector<Region> regions;
  ProportionTally familyWise;
  MeanTally falsePositiveRate;
  MeanTally falseDiscovery;
  int64_t tested = 0;  // voxels of the first replicate's map

  explicit TestTallies(std::size_t regionCount) : regions(regionCount) {}
  void add(const TestScore& score);
  // The estimates in the table's order: per region detection, sensitivity and
  // region-mean power, then the family-wise error, false-positive rate and false
  // discovery proportion outside the regions.
  std::vector<RowEstimate> estimates() const;
};

// A score as a flat list of whole numbers (what a block of replicates keeps on
// disk), and back; false for a list that is no score (the wrong length, a count
// out of its range).
std::vector<int64_t> flatScore(const TestScore& score);
bool scoreFromFlat(const std::vector<int64_t>& flat, TestScore& score);

}  // namespace cohortix::host
