#include "host/analysis/bids_tables.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace cohortix::host {
namespace {

TEST(BidsTables, ParticipantsAndDesignsAsTheExportWritesThemAndWithBlankLinesAndCarriageReturns) {
  Result<std::vector<Participant>> participants =
      parseParticipants("participant_id\tgroup\r\nsub-01\tControls\r\n\r\nsub-02\tPatients\r\n", "p.tsv");
  ASSERT_TRUE(participants) << participants.status().message();
  ASSERT_EQ(participants->size(), 2u);
  EXPECT_EQ(participants.value()[1].id, "sub-02");
  EXPECT_EQ(participants.value()[1].group, "Patients");
  Result<std::vector<Participant>> ungrouped = parseParticipants("age\tparticipant_id\n31\tsub-1\n", "p.tsv");
  ASSERT_TRUE(ungrouped);
  EXPECT_EQ(ungrouped.value()[0].group, "all");

  Result<std::vector<Predictor>> design = parseDesignTable("A\tB\n0\t1.5\n-2e-3\t0\n", "d.tsv");
  ASSERT_TRUE(design) << design.status().message();
  EXPECT_EQ(design.value(), (std::vector<Predictor>{{"A", {0.0f, -0.002f}}, {"B", {1.5f, 0.0f}}}));
}

TEST(BidsTables, HostileTablesAreRefusedWithFileLineAndWhatWasFound) {
  const std::vector<std::pair<std::string, std::string>> participants = {
      {"", "p.tsv:1: expected a header line, found an empty file"},
      {"group\nG1\n", "p.tsv:1: expected a column \"participant_id\", found the header \"group\""},
      {"participant_id\tgroup\nsub-1\n", "p.tsv:2: expected 2 tab-separated fields, found 1"},
      {"participant_id\tgroup\nsub-1\tG\tx\n", "p.tsv:2: expected 2 tab-separated fields, found 3"},
      {"participant_id\tgroup\tgroup\n", "p.tsv:1: expected columns of different names, found \"group\" twice"},
      {"participant_id\n..\n", "p.tsv:2: expected a subject's folder name as participant_id, found \"..\""},
      {"participant_id\n../../etc\n", "p.tsv:2: expected a subject's folder name as participant_id, found \"../../etc\""},
      {"participant_id\n/tmp\n", "p.tsv:2: expected a subject's folder name as participant_id, found \"/tmp\""},
      {"participant_id\tgroup\n\tG\n", "p.tsv:2: expected a subject's folder name as participant_id, found an empty field"},
      {"participant_id\nsub-1\nsub-1\n", "p.tsv:3: expected each participant once, found \"sub-1\" again"},
      {"participant_id\n", "p.tsv lists no participant"},
  };
  for (const auto& [text, message] : participants) {
    Result<std::vector<Participant>> read = parseParticipants(text, "p.tsv");
    ASSERT_FALSE(read) << text;
    EXPECT_EQ(read.status().message(), message);
  }
  // A name with a control character is shown escaped, never as the raw byte.
  Result<std::vector<Participant>> escape = parseParticipants("participant_id\nsub\x1b[2J\n", "p.tsv");
  ASSERT_FALSE(escape);
  EXPECT_EQ(escape.status().message().find('\x1b'), std::string::npos) << escape.status().message();

  const std::vector<std::pair<std::string, std::string>> designs = {
      {"A\tB\n1\n", "d.tsv:2: expected 2 tab-separated fields, found 1"},
      {"A\tB\n1\tx\n", "d.tsv:2: expected a finite number as B, found \"x\""},
      {"A\n1 \n", "d.tsv:2: expected a finite number as A, found \"1 \""},
      {"A\nnan\n", "d.tsv:2: expected a finite number as A, found \"nan\""},
      {"A\n1\n-inf\n", "d.tsv:3: expected a finite number as A, found \"-inf\""},
      {"A\n1e999\n", "d.tsv:2: expected a finite number as A, found \"1e999\""},
      {"A\n-1e39\n", "d.tsv:2: expected a finite number as A, found \"-1e39\""},
      {"A\tB\n\t1\n", "d.tsv:2: expected a finite number as A, found an empty field"},
  };
  for (const auto& [text, message] : designs) {
    Result<std::vector<Predictor>> read = parseDesignTable(text, "d.tsv");
    ASSERT_FALSE(read) << text;
    EXPECT_EQ(read.status().message(), message);
  }
}

}  // namespace
}  // namespace cohortix::host
