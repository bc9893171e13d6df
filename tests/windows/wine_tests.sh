#!/usr/bin/env bash
# The Windows plug-in: what Cohortix.dll exports and imports, and, under Wine, how
# it behaves in the stand-in host: initPlugin on a new enough and on a too old
# host, binding in a process without "TessalyKT.exe", and a whole run of a small
# study, as the host application makes it and asked for the subject reports,
# which must agree with the Linux build's run of the same study.
#
#   tests/windows/wine_tests.sh WINDOWS-BUILD LINUX-BUILD
#
# WINDOWS-BUILD holds Cohortix.dll, TessalyKT.exe and OtherHost.exe (cmake --preset
# windows); LINUX-BUILD the cohortix command and libwindows_rand.so. One Wine prefix
# serves every run of this script, under WINDOWS-BUILD/wine-tests, and one
# wineserver all its cases. Wine's output goes to files: a pipe would stay open as
# long as the wineserver does.
set -euo pipefail

windows_build=$(cd "$1" && pwd)
linux_build=$(cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
work=$windows_build/wine-tests
python=/usr/bin/python3
objdump=x86_64-w64-mingw32-objdump
failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# expect_text NAME EXPECTED FILE: the file (carriage returns dropped) holds exactly
# the expected text.
expect_text() {
  local actual
  actual=$(tr -d '\r' <"$3")
  [ "$actual" = "$2" ] || fail "$1: expected [$2], got [$actual]"
}

# --- What the DLL shows the loader ------------------------------------------------

# The exported names, one a line.
dll_exports() {
  "$objdump" -p "$1" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p'
}

# The DLLs it imports from, one a line.
dll_imports() {
  "$objdump" -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p'
}

check_plugin_exports() {
  # The seven functions, the entry point of the subject reports, then the members
  # of both classes under the names the Windows host's compiler gives them.
  local expected='createPlugin
getPluginName
getPluginDescription
getAuthor
getHelpFile
getPluginVersion
getGUIScript
cohortixReportSubjects
??0TSKTPluginInterface@@QEAA@XZ
??0TSKTPluginInterface@@QEAA@AEBV0@@Z
??1TSKTPluginInterface@@UEAA@XZ
??4TSKTPluginInterface@@QEAAAEAV0@AEBV0@@Z
??_7TSKTPluginInterface@@6B@
??0CohortixPlugin@@QEAA@XZ
??0CohortixPlugin@@QEAA@AEBV0@@Z
??1CohortixPlugin@@UEAA@XZ
??4CohortixPlugin@@QEAAAEAV0@AEBV0@@Z
??_7CohortixPlugin@@6B@
?execute@CohortixPlugin@@UEAA_NXZ
?initPlugin@CohortixPlugin@@UEAA_NXZ'
  local actual
  actual=$(dll_exports "$windows_build/Cohortix.dll" | sort)
  [ "$actual" = "$(printf '%s\n' "$expected" | sort)" ] ||
    fail "Cohortix.dll exports $(printf '%s\n' "$actual" | tr '\n' ' ')"
}

check_imports() {
  local name=$1 unexpected
  unexpected=$(dll_imports "$windows_build/$name" | grep -v -i -x -E 'KERNEL32\.dll|msvcrt\.dll' || true)
  [ -z "$unexpected" ] || fail "$name imports from $(printf '%s\n' "$unexpected" | tr '\n' ' ')"
}

check_host_exports() {
  local exports others
  exports=$(dll_exports "$windows_build/TessalyKT.exe")
  others=$(grep -v '^kt' <<<"$exports" || true)
  [ -z "$others" ] || fail "TessalyKT.exe exports more than host functions: $others"
  grep -qx ktGetVersionOfTessalyKT <<<"$exports" ||
    fail "TessalyKT.exe does not export ktGetVersionOfTessalyKT"
}

# --- Wine ---------------------------------------------------------------------------

start_wine() {
  export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  unset DISPLAY WAYLAND_DISPLAY
  mkdir -p "$WINEPREFIX"
  # Kept running until the script ends, so every case joins the same session.
  wineserver -p
  trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    timeout 300 wineboot -i >"$work/wineboot.log" 2>&1 || fail "wineboot: see $work/wineboot.log"
  fi
}

# The Windows name of a file or folder here (Wine's drive Z: is the root).
windows_path() {
  printf 'Z:%s' "$1" | tr / '\\'
}

# wine_case NAME PROGRAM ARGUMENTS...: runs PROGRAM from WINDOWS-BUILD under Wine;
# its output goes to NAME.out and NAME.err, its exit status to NAME.status.
wine_case() {
  local name=$1 program=$2
  shift 2
  local status=0
  (cd "$work" && timeout 300 wine "$windows_build/$program" "$@" \
    >"$work/$name.out" 2>"$work/$name.err" </dev/null) || status=$?
  echo "$status" >"$work/$name.status"
}

expect_status() {
  local actual
  actual=$(cat "$work/$1.status")
  [ "$actual" = "$2" ] || fail "$1: exit status $actual, expected $2 ($(tr -d '\r' <"$work/$1.err"))"
}

check_metadata() {
  wine_case about TessalyKT.exe "$plugin" about
  expect_status about 0
  expect_text about 'getPluginName: Cohortix v1.5
getPluginDescription: This tool allows to create simulated volume time course (VTC) data, protocols (PRT files) and design matrices (RTC files) for multi-factorial designs with between and within factors. The experimental design, mean effect values as well as other parameters must be specified in a "CXD" file.<br><br>For more details, check the <a href="CohortixPluginHelp/index.html"><b>Cohortix Online Help</b></a><br>
getAuthor: <i>Orrin Maskell</i>, Quillon Analytics
getHelpFile: 
getPluginVersion: 2.0
getGUIScript: ' "$work/about.out"
}

check_initialisation() {
  wine_case init-2.0.0 TessalyKT.exe "$plugin" init 2 0 0
  expect_status init-2.0.0 0
  expect_text init-2.0.0 'initPlugin: true' "$work/init-2.0.0.out"

  wine_case init-1.9.9 TessalyKT.exe "$plugin" init 1 9 9
  expect_status init-1.9.9 3
  expect_text init-1.9.9 'message: Can not execute this plugin - TessalyKT version 2.0 or higher required.
initPlugin: false' "$work/init-1.9.9.out"

  # No module "TessalyKT.exe" in the process: false, and nothing shown.
  wine_case other-host OtherHost.exe "$plugin" init 2 0 0
  expect_status other-host 3
  expect_text other-host 'initPlugin: false' "$work/other-host.out"
}

# A whole run under Wine against the Linux build's run with the Windows rand()
# preloaded: log lines and every output file must agree, and the trial orders must
# follow the Windows C library's sequence.
check_whole_run() {
  local study=$here/small_study.cxd
  rm -rf "$work/run-windows" "$work/run-linux"
  mkdir -p "$work/run-windows" "$work/run-linux"
  wine_case run TessalyKT.exe "$plugin" run "$(windows_path "$study")" \
    "$(windows_path "$work/run-windows")"
  expect_status run 0
  local status=0
  LD_PRELOAD=$linux_build/libwindows_rand.so "$linux_build/cohortix" run "$study" \
    -o "$work/run-linux" >"$work/run-linux.out" 2>"$work/run-linux.err" || status=$?
  [ "$status" = 0 ] || fail "Linux run: exit status $status ($(cat "$work/run-linux.err"))"
  expect_text "run log" "$(cat "$work/run-linux.out")" "$work/run.out"
  "$python" "$here/compare_runs.py" "$work/run-linux" "$work/run-windows" ||
    fail "the Windows run differs from the Linux run"
  # Asked for its subject reports, as the cohortix command asks, the plug-in tells
  # every subject and makes the same files.
  rm -rf "$work/run-reported"
  mkdir -p "$work/run-reported"
  wine_case run-reported TessalyKT.exe "$plugin" run-reported "$(windows_path "$study")" \
    "$(windows_path "$work/run-reported")"
  expect_status run-reported 0
  grep -qx 'subjects reported: 4' <<<"$(tr -d '\r' <"$work/run-reported.err")" ||
    fail "run-reported: $(tr -d '\r' <"$work/run-reported.err")"
  "$python" "$here/compare_runs.py" "$work/run-linux" "$work/run-reported" ||
    fail "the Windows run asked for its reports differs from the Linux run"
}

mkdir -p "$work"
plugin=$(windows_path "$windows_build/Cohortix.dll")

check_plugin_exports
check_imports Cohortix.dll
check_imports TessalyKT.exe
check_host_exports

start_wine
check_metadata
check_initialisation
check_whole_run

if [ "$failures" -ne 0 ]; then
  echo "$failures Windows check(s) failed; Wine's output is in $work" >&2
  exit 1
fi
echo "Windows plug-in: exports, initialisation and a whole run under Wine as intended"
