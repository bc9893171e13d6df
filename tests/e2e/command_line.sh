#!/usr/bin/env bash
# The command's own behaviour: help with defaults, exit statuses for usage errors
# and a plug-in that cannot be loaded, and `about`.
set -euo pipefail
fail() { echo "FAIL: $*" >&2; exit 1; }
status() { set +e; "$@" >/dev/null 2>&1; local s=$?; set -e; echo $s; }

"$COHORTIX" --help | grep -q 'run' || fail "--help lists no run command"
"$COHORTIX" run --help | grep -q -- '--tr FLOAT:POSITIVE=2' || fail "run --help hides the TR default"
"$COHORTIX" --version | grep -q '1.5' || fail "--version"
[ "$(status "$COHORTIX")" = 2 ] || fail "no subcommand must be a usage error"
[ "$(status "$COHORTIX" run)" = 2 ] || fail "run without a control file must be a usage error"
[ "$(status "$COHORTIX" run x.cxd --tr -1)" = 2 ] || fail "negative TR must be a usage error"
[ "$(status "$COHORTIX" --plugin /nonexistent/lib.so run x.cxd)" = 3 ] || fail "missing plug-in must exit 3"
err=$("$COHORTIX" --plugin /nonexistent/lib.so about 2>&1 >/dev/null || true)
[ "$(printf '%s\n' "$err" | wc -l)" = 1 ] || fail "a load failure must be one line: $err"

about=$("$COHORTIX" about)
printf '%s\n' "$about" | grep -qx 'Cohortix v1.5' || fail "about: name"
printf '%s\n' "$about" | grep -qx 'Author: Orrin Maskell, Quillon Analytics' || fail "about: author"
if printf '%s\n' "$about" | grep -q '<'; then fail "about: HTML left in the text"; fi
echo "command line behaves"
