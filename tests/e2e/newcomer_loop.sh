#!/usr/bin/env bash
# scripts/run, the README's first command, with the built cohortix: it simulates
# the flagship example as a BIDS dataset with its truth, analyses and scores it,
# and ends with one line naming a report that holds the truth, the analysis and
# its scores, and every value the run recorded.
set -uo pipefail
fail() { echo "FAIL: $*" >&2; exit 1; }
rm -rf "$COHORTIX_TEST_TMP" && mkdir -p "$COHORTIX_TEST_TMP" && cd "$COHORTIX_TEST_TMP" || exit 1

COHORTIX_EXECUTABLE=$COHORTIX COHORTIX_OUT=$COHORTIX_TEST_TMP/out \
  bash "$COHORTIX_SOURCE_DIR/scripts/run" > said.txt 2> messages.txt || fail "scripts/run: $(cat messages.txt)"
report=$COHORTIX_TEST_TMP/out/faces-and-places.html
[ "$(tail -n 1 said.txt)" = "Open $report in a browser: the study, its ground truth, the data, the group maps over the truth and their scores." ] ||
  fail "last line: $(tail -n 1 said.txt)"
for command in run analyze score report; do
  grep -q "^\$ cohortix $command " said.txt || fail "cohortix $command not shown: $(cat said.txt)"
done
grep -q '^sensitivity	0\.[0-9]*$' said.txt || fail "no score: $(cat said.txt)"
grep -qx 'cohortix: 16 subjects simulated, [0-9]* files written ([0-9.]* MB) in [0-9.]* s' messages.txt ||
  fail "run summary: $(cat messages.txt)"
for section in study truth data results results-scores; do
  grep -q "id=\"$section\"" "$report" || fail "the report has no $section section"
done
! grep -q "not recorded" "$report" || fail "the report says a value was not recorded"
grep -q "none (no host noise)" "$report" || fail "the report does not show the run's noise"
echo "scripts/run: dataset, truth, analysis, score and report, ending with the file to open"
