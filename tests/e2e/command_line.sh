#!/usr/bin/env bash
# The command's own behaviour: help with defaults, exit statuses for usage errors
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
echo "command line behaves"
