#!/usr/bin/env bash
# The command's own behaviour: help with defaults and limits, exit statuses for usage errors
# and a plug-in that cannot be loaded, and `about`.
set -euo pipefail
fail() { echo "FAIL: $*" >&2; exit 1; }
status() { set +e; "$@" >/dev/null 2>&1; local s=$?; set -e; echo $s; }

grep -q 'run' <<<"$("$COHORTIX" --help)" || fail "--help lists no run command"
grep -q -- '--tr FLOAT' <<<"$("$COHORTIX" run --help)" || fail "run --help hides the TR"
grep -q -- '=2' <<<"$("$COHORTIX" run --help | grep -- '--tr')" || fail "run --help hides the TR default"
grep -q '1.5' <<<"$("$COHORTIX" --version)" || fail "--version"
[ "$(status "$COHORTIX")" = 2 ] || fail "no subcommand must be a usage error"
[ "$(status "$COHORTIX" run)" = 2 ] || fail "run without a control file must be a usage error"
[ "$(status "$COHORTIX" run x.cxd --tr -1)" = 2 ] || fail "negative TR must be a usage error"
[ "$(status "$COHORTIX" --plugin /nonexistent/lib.so run x.cxd)" = 3 ] || fail "missing plug-in must exit 3"
err=$("$COHORTIX" --plugin /nonexistent/lib.so about 2>&1 >/dev/null || true)
[ "$(printf '%s\n' "$err" | wc -l)" = 1 ] || fail "a load failure must be one line: $err"

about=$("$COHORTIX" about)
grep -qx 'Cohortix v1.5' <<<"$about" || fail "about: name"
grep -qx 'Author: Orrin Maskell, Quillon Analytics' <<<"$about" || fail "about: author"
if grep -q '<' <<<"$about"; then fail "about: HTML left in the text"; fi
# --tr: a finite number of seconds within its bounds, refused in one line that says them.
for tr in 0 -1 1e-7 1e-10 nan inf 10.5 two; do
  set +e; err=$("$COHORTIX" run x.cxd --tr "$tr" 2>&1 >/dev/null); code=$?; set -e
  [ "$code" = 2 ] || fail "--tr $tr must be a usage error, got $code"
  [ "$err" = "cohortix: --tr must be between 0.05 and 10 seconds, not $tr" ] || fail "--tr $tr: $err"
done
grep -q 'from 0.05 to 10' <<<"$("$COHORTIX" run --help)" || fail "run --help hides the TR's bounds"
grep -q 'docs/' <<<"$("$COHORTIX" --help)" || fail "--help does not point at docs/"

# An unknown subcommand is named, with the closest one.
set +e; err=$("$COHORTIX" chek x.cxd 2>&1); code=$?; set -e
[ "$code" = 2 ] && [ "$err" = 'cohortix: unknown command "chek"; did you mean "check"?' ] ||
  fail "a misspelt subcommand: $code $err"
err=$("$COHORTIX" frobnicate 2>&1 || true)
grep -q '^cohortix: unknown command "frobnicate"; the commands are run, about, check' <<<"$err" ||
  fail "an unknown subcommand: $err"

# Output that cannot be written is a failure, said once.
for command in "--version" "about" "check $COHORTIX_SOURCE_DIR/examples/noise-free.cxd"; do
  set +e; err=$("$COHORTIX" $command 2>&1 >/dev/full); code=$?; set -e
  [ "$code" != 0 ] || fail "$command > /dev/full exited 0"
  [ "$err" = "cohortix: cannot write to the standard output: No space left on device" ] ||
    fail "$command > /dev/full: $err"
done
echo "command line behaves"
