#!/usr/bin/env bash
# A whole run of the two-by-two example: its 30 files, exactly the run's log
# lines, and the same bytes from a second run.
set -euo pipefail
fail() { echo "FAIL: $*" >&2; exit 1; }

study="$COHORTIX_SOURCE_DIR/tests/data/two-by-two.cxd"
first="$COHORTIX_TEST_TMP/first"
second="$COHORTIX_TEST_TMP/second"
rm -rf "$COHORTIX_TEST_TMP"
mkdir -p "$first" "$second"

"$COHORTIX" run "$study" -o "$first" >"$COHORTIX_TEST_TMP/log" || fail "the run failed"

expected_log=" 
// Plugin>  Running Cohortix...
// Plugin>  Dims of created VTCs, X: 40  Y: 34  Z: 20"
names=()
for subject in 1 2 3 4 5 6 7 8 9 10; do
  group=$(( subject <= 5 ? 1 : 2 ))
  expected_log+=$'\n'"// Plugin>  Creating simulated data for subject $subject..."
  for extension in prt rtc vtc; do names+=("S${subject}_G${group}_SimA.$extension"); done
done
expected_log+=$'\n'"// Plugin>  Cohortix Plugin completed!"$'\n'" "
[ "$(cat "$COHORTIX_TEST_TMP/log")" = "$expected_log" ] ||
  fail "log differs: $(diff <(printf '%s\n' "$expected_log") "$COHORTIX_TEST_TMP/log")"

# and the run's record
[ "$(ls "$first" | wc -l)" = 31 ] || fail "expected 30 files and the record, found: $(ls "$first")"
# The order in which the run hands the files over is checked by the unit tests'
# recorded host calls; the host may finish writing a VTC after the next subject's
# protocol, so file times say nothing about it.
for name in "${names[@]}"; do
  [ -s "$first/$name" ] || fail "missing or empty: $name"
done

"$COHORTIX" run "$study" -o "$second" --quiet >/dev/null || fail "the second run failed"
for name in "${names[@]}"; do
  cmp -s "$first/$name" "$second/$name" || fail "$name differs between two runs"
done
echo "two-by-two run writes its 30 files, logs its lines and repeats itself"
