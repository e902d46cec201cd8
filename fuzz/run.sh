#!/usr/bin/env bash
# Runs every libFuzzer target (build-fuzz, the "fuzz" preset) for a while, TERVANO_FUZZ_JOBS at a time
# (default 2).
#   fuzz/run.sh [seconds per target, default 600] [work folder, default /tmp/tervano-fuzz-run]
# New inputs go to <work>/<name>/ (the committed corpus fuzz/corpus/<name>/ is only read); a crash is
# saved as <work>/<name>-crash-*; each log is <work>/<name>.log. Copy a crash into
# fuzz/findings/<name>/ so the replay test keeps it fixed.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-600}
work=${2:-/tmp/tervano-fuzz-run}
build=${TERVANO_FUZZ_BUILD_DIR:-$root/build-fuzz}
mkdir -p "$work"
names=(pdb device_ini table registry profile memo_text memo_converter app_info safe_format)
run_one() {
  local name=$1
  mkdir -p "$work/$name"
  "$build/fuzz/fuzz_$name" "$work/$name" "$root/fuzz/corpus/$name" \
    -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$work/$name-" >"$work/$name.log" 2>&1
  echo "$name: exit $? ($(grep -E '^#[0-9]+' "$work/$name.log" | tail -1))"
}
jobs=${TERVANO_FUZZ_JOBS:-2}
for ((i = 0; i < ${#names[@]}; i += jobs)); do
  for ((j = i; j < i + jobs && j < ${#names[@]}; ++j)); do run_one "${names[j]}" & done
  wait
done
