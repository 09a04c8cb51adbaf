#!/usr/bin/env bash
# Runs the module fuzzer for SECONDS seconds over the seed corpus: the
# embedded tune, the real modules in ../shared/corpus/xm (read in place) and
# the saved regression inputs in fuzz/regressions. New interesting inputs go
# to a working corpus next to the fuzzer binary, crash inputs to
# fuzz-artifacts/ there; the executions of every run are added to
# fuzz-executions.log.
#   fuzz/run.sh FUZZER SECONDS
set -euo pipefail
fuzzer=$1
seconds=${2:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(cd "$(dirname "$fuzzer")/.." && pwd)
work="$out/fuzz-corpus"
artifacts="$out/fuzz-artifacts"
mkdir -p "$work" "$artifacts"
cp -f "$root/assets/tune.xm" "$work/tune.xm"

seeds=("$work" "$root/fuzz/regressions")
[ -d "$root/../shared/corpus/xm" ] && seeds+=("$root/../shared/corpus/xm")

log="$out/fuzz-last.log"
status=0
# -timeout catches a hang (a single input never takes a second); -max_len
# lets the larger corpus modules in whole.
"$fuzzer" "${seeds[@]}" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=1048576 \
    -print_final_stats=1 -artifact_prefix="$artifacts/" >"$log" 2>&1 || status=$?

runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
echo "$(date -u +%FT%TZ) seconds=$seconds executions=${runs:-0} status=$status" >>"$out/fuzz-executions.log"
if [ "$status" != 0 ]; then
    grep -E "ERROR|SUMMARY|runtime error|Test unit written|#0 |#1 |#2 |#3 " "$log" | head -40 >&2 || true
    echo "fuzz: FAILED after ${runs:-?} executions (log: $log)" >&2
    exit "$status"
fi
echo "fuzz: ${runs:-0} executions in ${seconds}s, no finding"
