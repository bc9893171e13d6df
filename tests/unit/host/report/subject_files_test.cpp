// A subject's trials read back by cell: from the native protocol, and from the
// BIDS events table, whose seconds must turn back into the same volumes at any
// repetition time; a protocol of another study is refused, not misread.

#include "host/report/subject_files.h"

#include <gtest/gtest.h>

#include <fstream>

#include "control/condition_names.h"
#include "host/export/events_tsv.h"
#include "host/formats/prt_format.h"
#include "host/io/disk_interface.h"
#include "tests/support/control_fixtures.h"
#include "tests/support/scratch_folder.h"

namespace cohortix::host {
namespace {

// The protocol a run of faces-and-places could write: "Baseline", then one
// condition per cell with trials at scattered volumes.
ProtocolDocument protocolOf(const SimulationDesign& design) {
  ProtocolDocument protocol;
  protocol.conditions.push_back({"Baseline", 6579300, {{3, 10}, {40, 47}}});
  for (int32_t cell = 0; cell < design.NrOfWithinCells; ++cell)
    protocol.conditions.push_back(
        {conditionName(design, cell), 0, {{11 + 7 * cell, 16 + 7 * cell}, {100 + 9 * cell, 105 + 9 * cell}}});
  return protocol;
}

void write(const std::filesystem::path& file, const std::string& text) { std::ofstream(file) << text; }

TEST(SubjectTrials, NativeProtocolsAndEventsTablesGiveTheSameVolumes) {
  testing::ScratchFolder folder;
  std::string message;
  StudyRun run;
  run.design = testing::parseText(testing::sourceFileText("examples/faces-and-places.cxd"), message);
  ASSERT_TRUE(run.design) << message;
  const ProtocolDocument protocol = protocolOf(*run.design);
  SubjectTrials expected;
  for (std::size_t c = 1; c < protocol.conditions.size(); ++c) expected.push_back(protocol.conditions[c].intervals);

  SubjectFiles subject;
  subject.protocol = folder / "S1_G1_FacesPlaces.prt";
  write(subject.protocol, formatProtocol(protocol));
  RealDiskInterface disk;
  Result<SubjectTrials> native = readSubjectTrials(run, subject, 2.0, disk);
  ASSERT_TRUE(native) << native.status().message();
  EXPECT_EQ(native.value(), expected);

  run.layout = RunLayout::Bids;
  for (const double tr : {2.0, 0.3, 1.7, 2.5}) {
    subject.protocol = folder / "sub-01_task-FacesPlaces_events.tsv";
    write(subject.protocol, eventsTable(trialEventsOf(protocol, 1, tr)));
    Result<SubjectTrials> bids = readSubjectTrials(run, subject, tr, disk);
    ASSERT_TRUE(bids) << bids.status().message();
    EXPECT_EQ(bids.value(), expected) << "TR " << tr;
  }

  run.layout = RunLayout::Native;
  ProtocolDocument other = protocol;
  other.conditions[2].name = "Houses x Elsewhere";
  subject.protocol = folder / "S1_G1_Other.prt";
  write(subject.protocol, formatProtocol(other));
  Result<SubjectTrials> refused = readSubjectTrials(run, subject, 2.0, disk);
  ASSERT_FALSE(refused);
  EXPECT_NE(refused.status().message().find("S1_G1_Other.prt does not belong to the study"), std::string::npos)
      << refused.status().message();
}

}  // namespace
}  // namespace cohortix::host
