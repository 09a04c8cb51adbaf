#!/usr/bin/env bash
# make bench: the Google Benchmark of render_block, then ours against the
# peers. Usage: bench/run.sh BUILD_DIR [PEER_SECONDS]
set -euo pipefail
build=${1:-build-bench}
seconds=${2:-120}
"$build/bin/render_bench" --benchmark_min_time=0.5 --benchmark_counters_tabular=true
echo
"$build/bin/peers" "$seconds"
