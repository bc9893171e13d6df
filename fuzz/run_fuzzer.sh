#!/usr/bin/env bash
# Runs the control-file fuzzer for a bounded time, seeded with the examples, every
# control file under tests/ and the inputs kept in fuzz/regressions/.
#   run_fuzzer.sh FUZZER SOURCE_DIR WORK_DIR [SECONDS]
# The corpus it grows stays in WORK_DIR/corpus for the next run; an input that
# crashes, leaks or hangs (5 s per input) lands in WORK_DIR/artifacts and fails the
# run. Keep such an input in fuzz/regressions/ once the fault is mended.
set -euo pipefail
fuzzer=$1
source_dir=$2
work=$3
seconds=${4:-60}

mkdir -p "$work/corpus" "$work/artifacts"
rm -rf "$work/seeds"
mkdir -p "$work/seeds"
while IFS= read -r -d '' file; do
  cp "$file" "$work/seeds/$(printf '%s' "${file#"$source_dir"/}" | tr / _)"
done < <(find "$source_dir/examples" "$source_dir/tests" "$source_dir/fuzz/regressions" \
  -type f \( -name '*.cxd' -o -path '*/fuzz/regressions/*' \) -print0)

# Every input that ever crashed the reader reads cleanly now.
regressions=("$source_dir"/fuzz/regressions/*)
if [ -e "${regressions[0]}" ]; then
  "$fuzzer" -runs=1 "${regressions[@]}"
fi

"$fuzzer" "$work/corpus" "$work/seeds" \
  -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 -max_len=65536 \
  -dict="$source_dir/fuzz/control_file.dict" -artifact_prefix="$work/artifacts/" \
  -print_final_stats=1
