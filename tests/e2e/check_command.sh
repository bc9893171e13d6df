#!/usr/bin/env bash
# `cohortix check`: every example passes and is summarised; a refused file prints
# its one message and exits 1.
set -euo pipefail
fail() { echo "FAIL: $*" >&2; exit 1; }
mkdir -p "$COHORTIX_TEST_TMP"
tmp="$COHORTIX_TEST_TMP"
examples="$COHORTIX_SOURCE_DIR/examples"

for example in "$examples"/*.cxd; do
  "$COHORTIX" check "$example" >"$tmp/summary.txt" 2>"$tmp/errors.txt" ||
    fail "$example does not pass check: $(cat "$tmp/errors.txt")"
  [ ! -s "$tmp/errors.txt" ] || fail "$example: check wrote to standard error"
done

fixture="$COHORTIX_SOURCE_DIR/tests/data/two-by-two.cxd"
summary=$("$COHORTIX" check "$fixture" 2>/dev/null)
for line in 'Experiment: SimA' 'Cells: 4 (conditions in protocol order, after "Baseline")' \
    '    3. Easy x Right             colour 255 0 0' 'Groups: 2 (Age: Young, Old)' \
    'Subjects: 5 per group, 10 in all' 'Trials per run: 12 (3 per condition) of 6 volumes' \
    'Volumes per run: 212 = 4 before + rest 10 + 12 x (trial 6 + rest 10) + 6 after' \
    'VTC dimensions: 40 x 34 x 20 voxels, 212 volumes' \
    'Files: 30 (.prt, .rtc and .vtc for each subject), S1_G1_SimA.prt to S10_G2_SimA.vtc'; do
  # A here-string, not a pipe: under pipefail, grep -q quitting at its match would
  # fail the pipeline whenever the writer had output left to write.
  grep -qxF -- "$line" <<<"$summary" || fail "two-by-two summary lacks: $line"
done
grep -qE '^  Old +1 +0\.5 +1\.5 +1$' <<<"$summary" || fail "effect row of group Old"

# Refusals: exit 1, the message alone on standard error, nothing on standard output.
refused() {  # refused NAME SED-EXPRESSION EXPECTED-MESSAGE
  sed "$2" "$fixture" >"$tmp/$1.cxd"
  set +e
  "$COHORTIX" check "$tmp/$1.cxd" >"$tmp/out.txt" 2>"$tmp/err.txt"
  local status=$?
  set -e
  [ "$status" = 1 ] || fail "$1: exit status $status, not 1"
  [ ! -s "$tmp/out.txt" ] || fail "$1: a refused file must print no summary"
  [ "$(cat "$tmp/err.txt")" = "${3//@/$tmp/$1.cxd}" ] || fail "$1: message $(cat "$tmp/err.txt")"
}
refused newer-version 's/^Version: 1/Version: 2/' \
  $'INFO - New CXD File Format, use updated plugin.\n@:1: the format version is above 1'
refused fractional-levels '0,/^Levels: 2/s//Levels: 2.5/' \
  '@:7: expected an integer for the number of levels of within factor 1, found "2.5"'
refused truncated '$d' \
  '@:43: expected a number for the effect of cell 1, row 2, region 1, found the end of the file'
refused zero-resolution 's/^Resolution: 3/Resolution: 0/' \
  '@:30: expected a VTC resolution of at least 1, found 0'

# No within factor passes the reader, but no run can take it: summary, then exit 1.
/usr/bin/python3 - "$fixture" "$tmp/no-within.cxd" <<'PY'
import sys
text = open(sys.argv[1]).read().replace("WithinFactors: 2", "WithinFactors: 0")
text = text.replace("Center: 30 -20 10", "Center: 0 -20 10")  # inside the box: no warning
text = text[:text.index('Factor: "Task"')] + text[text.index('Factor: "Age"'):]
open(sys.argv[2], "w").write(text.replace("2.0 1.0 2.5 1.5\n1.0 0.5 1.5 1.0", "2.0\n1.0"))
PY
set +e
"$COHORTIX" check "$tmp/no-within.cxd" >"$tmp/out.txt" 2>"$tmp/err.txt"
status=$?
set -e
[ "$status" = 1 ] || fail "no within factor: exit status $status, not 1"
grep -qx 'Cells: 1 (conditions in protocol order, after "Baseline")' "$tmp/out.txt" ||
  fail "no within factor: no summary"
[ "$(cat "$tmp/err.txt")" = \
  "Unsupported design. Only designs with 1, 2 or 3 within factors supported." ] ||
  fail "no within factor: $(cat "$tmp/err.txt")"

set +e
"$COHORTIX" check "$tmp/absent.cxd" >/dev/null 2>"$tmp/err.txt"
status=$?
set -e
[ "$status" = 1 ] || fail "a missing file must exit 1"
[ "$(cat "$tmp/err.txt")" = "cannot open $tmp/absent.cxd: No such file or directory" ] ||
  fail "missing file: $(cat "$tmp/err.txt")"
echo "check passes every example and refuses malformed files"
