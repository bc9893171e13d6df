#!/usr/bin/env bash
# What `cohortix run` leaves in its output folder: the folder created, every file
# whole under its final name, no temporaries; a file that cannot be written named
# with its reason and exit status 4; `cohortix info` on each kind of file.
set -euo pipefail
fail() { echo "FAIL: $*" >&2; exit 1; }

rm -rf "$COHORTIX_TEST_TMP" && mkdir -p "$COHORTIX_TEST_TMP" && cd "$COHORTIX_TEST_TMP"
# The two-by-two example with one subject per group and a 4 x 4 x 4 box.
sed -e 's/^SubjectsPerGroup: 5/SubjectsPerGroup: 1/' -e 's/^BoxZ: .*/BoxZ: 100 112/' \
    -e 's/^BoxX: .*/BoxX: 60 72/' -e 's/^BoxY: .*/BoxY: 50 62/' \
    "$COHORTIX_SOURCE_DIR/examples/two-by-two.cxd" > small.cxd
expected="S1_G1_SimA.prt S1_G1_SimA.rtc S1_G1_SimA.vtc S2_G2_SimA.prt S2_G2_SimA.rtc S2_G2_SimA.vtc"

"$COHORTIX" run small.cxd -o out/nested > log.txt 2> err.txt || fail "run exited $?: $(cat err.txt)"
[ "$(ls out/nested | tr '\n' ' ')" = "$expected " ] || fail "files: $(ls out/nested)"
[ ! -s err.txt ] || fail "unexpected messages: $(cat err.txt)"
grep -qx '// Plugin>  Cohortix Plugin completed!' log.txt || fail "no completion line"

"$COHORTIX" info out/nested/S2_G2_SimA.prt out/nested/S2_G2_SimA.rtc out/nested/S2_G2_SimA.vtc > info.txt
grep -q '^out/nested/S2_G2_SimA.prt: stimulation protocol "SimA", 5 conditions' info.txt || fail "info .prt"
grep -q '^  "Baseline"  colour 100 100 100, 13 intervals: 5-14, 21-30' info.txt || fail "info intervals"
grep -q '^out/nested/S2_G2_SimA.rtc: design matrix, 4 predictors, 212 volumes' info.txt || fail "info .rtc"
grep -q '^  "Hard x Right"  from ' info.txt || fail "info predictor"
grep -q '^out/nested/S2_G2_SimA.vtc: volume time course, 4 x 4 x 4 voxels, 212 volumes, repetition time 2 s' \
  info.txt || fail "info .vtc"

# A folder in the way of one final name: that file is missing, the others are whole.
mkdir -p blocked/S2_G2_SimA.vtc
set +e
"$COHORTIX" run small.cxd -o blocked --quiet > quiet.txt 2> err.txt
status=$?
set -e
[ "$status" = 4 ] || fail "a file not written must exit 4, got $status"
[ ! -s quiet.txt ] || fail "--quiet still logged: $(cat quiet.txt)"
grep -qx 'cohortix: cannot write S2_G2_SimA.vtc: Is a directory' err.txt || fail "reason: $(cat err.txt)"
grep -q 'could not be written: S2_G2_SimA.vtc$' err.txt || fail "missing files not listed: $(cat err.txt)"
[ "$(ls blocked | wc -l)" = 6 ] || fail "leftovers: $(ls blocked)"

# An output folder that cannot be made.
touch not-a-folder
set +e
"$COHORTIX" run small.cxd -o not-a-folder/out > /dev/null 2> err.txt
status=$?
set -e
[ "$status" = 4 ] || fail "an output folder that cannot be made must exit 4, got $status"
grep -q 'cannot create the output folder not-a-folder/out' err.txt || fail "folder: $(cat err.txt)"
echo "output files behave"
