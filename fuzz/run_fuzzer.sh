#!/usr/bin/env bash
# Runs one of the fuzzers for a bounded time, seeded with the files of its kind
# among the examples and under tests/, its own seeds in fuzz/seeds/NAME/ and the
# inputs kept in fuzz/regressions/NAME/ (NAME: the fuzzer's name without
# _fuzzer, e.g. control_file).
#   run_fuzzer.sh FUZZER SOURCE_DIR WORK_DIR [SECONDS]
# The corpus it grows stays in WORK_DIR/corpus for the next run; an input that
# crashes, leaks or hangs (5 s per input) lands in WORK_DIR/artifacts and fails the
# run. Keep such an input in fuzz/regressions/NAME/ once the fault is mended.
set -euo pipefail
fuzzer=$1
source_dir=$2
work=$3
seconds=${4:-60}
name=$(basename "$fuzzer")
name=${name%_fuzzer}

# The files of the examples and the tests that the fuzzer's reader takes.
case $name in
  control_file) patterns=(-name '*.cxd') ;;
  noise_profile | sweep_file) patterns=(-name '*.toml') ;;
  tsv_tables) patterns=(-name '*.tsv') ;;
  json_input) patterns=(-name '*.json') ;;
  *) patterns=(-name '*.nii' -o -name '*.nii.gz') ;;
esac

mkdir -p "$work/corpus" "$work/artifacts"
rm -rf "$work/seeds"
mkdir -p "$work/seeds"
while IFS= read -r -d '' file; do
  cp "$file" "$work/seeds/$(printf '%s' "${file#"$source_dir"/}" | tr / _)"
done < <(find "$source_dir/examples" "$source_dir/tests" -type f \( "${patterns[@]}" \) -print0
         find "$source_dir/fuzz/seeds/$name" "$source_dir/fuzz/regressions/$name" -type f -print0 2>/dev/null)

# Every input that ever crashed the reader reads cleanly now.
regressions=("$source_dir/fuzz/regressions/$name"/*)
if [ -e "${regressions[0]}" ]; then
  "$fuzzer" -runs=1 "${regressions[@]}"
fi

dictionary=()
[ -f "$source_dir/fuzz/$name.dict" ] && dictionary=(-dict="$source_dir/fuzz/$name.dict")
"$fuzzer" "$work/corpus" "$work/seeds" \
  -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 -max_len=65536 \
  "${dictionary[@]}" -artifact_prefix="$work/artifacts/" \
  -print_final_stats=1
