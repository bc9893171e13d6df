#!/usr/bin/env bash
# The plug-in shows its host the seven entry points, the two classes and the
# entry point through which a host asks for its subject reports, and nothing
# else; it imports nothing from the host, and the host exports only kt*.
set -euo pipefail
fail() { echo "FAIL: $*" >&2; exit 1; }

exported=$(nm -D --defined-only "$COHORTIX_PLUGIN" | awk '{print $3}' | c++filt)
unexpected=$(printf '%s\n' "$exported" | grep -v -E \
  '^(createPlugin|getPluginName|getPluginDescription|getAuthor|getHelpFile|getPluginVersion|getGUIScript|cohortixReportSubjects)$|TSKTPluginInterface|CohortixPlugin' || true)
[ -z "$unexpected" ] || fail "library exports more than its entry points: $unexpected"
for name in createPlugin getPluginName getPluginDescription getAuthor getHelpFile \
    getPluginVersion getGUIScript cohortixReportSubjects "CohortixPlugin::execute()" "CohortixPlugin::initPlugin()" \
    "vtable for TSKTPluginInterface" "typeinfo for CohortixPlugin"; do
  grep -qxF "$name" <<<"$exported" || fail "library does not export $name"
done

imported=$(nm -u -D "$COHORTIX_PLUGIN" | awk '{print $2}')
if grep -q '^kt' <<<"$imported"; then fail "library imports host functions"; fi

# Ours in the host: everything that is not a versioned symbol of a system library,
# nor a hook of the sanitizer runtimes that a sanitized build links in.
host_ours=$(nm -D --defined-only "$COHORTIX" | awk '{print $3}' | grep -v '@' |
  grep -v -E '^__(asan|ubsan|lsan|sanitizer)_' || true)
others=$(printf '%s\n' "$host_ours" | grep -v '^kt' | grep -v '^$' | grep -v -E '^(_edata|_end|__bss_start|_IO_stdin_used)$' || true)
[ -z "$others" ] || fail "host exports more than host functions: $others"
grep -qx ktLogText <<<"$host_ours" || fail "host does not export ktLogText"
echo "plug-in and host exports are as intended"
