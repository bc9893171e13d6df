#!/usr/bin/env bash
# What `cohortix run` leaves in its output folder: the folder created, every file
# whole under its final name, no temporaries; a file that cannot be written named
# with its reason and exit status 4; a protocol that cannot be saved never read
# back, and nothing built from it written; an earlier run's files and a folder that
# cannot be made refused with status 5; `cohortix info` on each kind of file.
set -euo pipefail
fail() { echo "FAIL: $*" >&2; exit 1; }

# An immutable file left by an earlier run of this test would block the removal.
chattr -i "$COHORTIX_TEST_TMP/immutable/S1_G1_SimA.prt" 2>/dev/null || true
rm -rf "$COHORTIX_TEST_TMP" && mkdir -p "$COHORTIX_TEST_TMP" && cd "$COHORTIX_TEST_TMP"
# The two-by-two example with one subject per group and a 4 x 4 x 4 box.
sed -e 's/^SubjectsPerGroup: 5/SubjectsPerGroup: 1/' -e 's/^BoxZ: .*/BoxZ: 100 112/' \
    -e 's/^BoxX: .*/BoxX: 60 72/' -e 's/^BoxY: .*/BoxY: 50 62/' \
    "$COHORTIX_SOURCE_DIR/tests/data/two-by-two.cxd" > small.cxd
# The run's record lies beside its files.
expected="S1_G1_SimA.prt S1_G1_SimA.rtc S1_G1_SimA.vtc S2_G2_SimA.prt S2_G2_SimA.rtc S2_G2_SimA.vtc cohortix-run.json"

"$COHORTIX" run small.cxd -o out/nested > log.txt 2> err.txt || fail "run exited $?: $(cat err.txt)"
[ "$(ls out/nested | tr '\n' ' ')" = "$expected " ] || fail "files: $(ls out/nested)"
# The small box leaves the fixture's region outside it: that warning aside, one line.
grep -v '^warning: ' err.txt > summary.txt || true
grep -qx 'cohortix: 2 subjects simulated, 6 files written ([0-9.]* MB) in [0-9.]* s' summary.txt &&
  [ "$(wc -l < summary.txt)" = 1 ] || fail "not one summary line: $(cat err.txt)"
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
[ "$(ls blocked | wc -l)" = 7 ] || fail "leftovers: $(ls blocked)"

# A protocol that cannot be saved (a folder planted under its name): the subject's
# design matrix and VTC, built from it, are not written either, each named with
# the reason; the other subject's files are whole.
mkdir -p planted/S2_G2_SimA.prt
set +e
"$COHORTIX" run small.cxd -o planted --quiet > /dev/null 2> err.txt
status=$?
set -e
[ "$status" = 4 ] || fail "a protocol not saved must exit 4, got $status"
built_from="which could not be saved (a file under that name would not be its protocol)"
grep -qx 'cohortix: cannot write S2_G2_SimA.prt: Is a directory' err.txt || fail "prt: $(cat err.txt)"
for file in S2_G2_SimA.rtc S2_G2_SimA.vtc; do
  grep -qx "cohortix: cannot write $file: it is built from the protocol S2_G2_SimA.prt, $built_from" err.txt ||
    fail "$file not reported: $(cat err.txt)"
done
[ "$(ls planted | tr '\n' ' ')" = "S1_G1_SimA.prt S1_G1_SimA.rtc S1_G1_SimA.vtc S2_G2_SimA.prt cohortix-run.json " ] ||
  fail "planted: $(ls planted)"
cmp -s planted/S1_G1_SimA.vtc out/nested/S1_G1_SimA.vtc || fail "S1_G1_SimA.vtc differs"

# An old protocol of the same experiment that cannot be replaced (immutable: root
# and a file system that keeps the flag) stops the run before it starts; nothing
# goes beside it.
mkdir -p immutable
printf 'an old protocol of another study\n' > immutable/S1_G1_SimA.prt
if chattr +i immutable/S1_G1_SimA.prt 2>/dev/null; then
  # It counts as an earlier run of the experiment: refused, and --force cannot
  # remove it; either way nothing is written.
  set +e
  "$COHORTIX" run small.cxd -o immutable --quiet > /dev/null 2> err.txt
  refused=$?
  "$COHORTIX" run small.cxd -o immutable --quiet --force > /dev/null 2> forced.txt
  forced=$?
  set -e
  [ "$refused" = 5 ] && grep -q 'immutable already holds files of a run of SimA (S1_G1_SimA.prt' err.txt ||
    fail "an earlier protocol must be refused: $refused $(cat err.txt)"
  [ "$forced" = 5 ] && grep -q 'cannot remove immutable/S1_G1_SimA.prt of the earlier run' forced.txt ||
    fail "an immutable earlier protocol must be refused with --force: $forced $(cat forced.txt)"
  [ "$(ls immutable)" = "S1_G1_SimA.prt" ] || fail "files beside it: $(ls immutable)"
  chattr -i immutable/S1_G1_SimA.prt
  [ "$(cat immutable/S1_G1_SimA.prt)" = "an old protocol of another study" ] || fail "old protocol changed"
else
  echo "NOTE: skipped the immutable protocol: chattr +i does not work here (needs root and a file system that keeps the flag)"
fi

# An output folder that cannot be made.
touch not-a-folder
set +e
"$COHORTIX" run small.cxd -o not-a-folder/out > /dev/null 2> err.txt
status=$?
set -e
[ "$status" = 5 ] || fail "an output folder that cannot be made must exit 5, got $status"
grep -q 'cannot create the output folder not-a-folder/out' err.txt || fail "folder: $(cat err.txt)"
echo "output files behave"
