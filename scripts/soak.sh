#!/bin/bash
# SPDX-License-Identifier: Zlib
# How reliable the suite is, as a figure: runs the whole suite (ctest --preset
# ci, already built) RUNS times in a row, with HOGS busy loops beside it, and
# prints which runs failed and in which tests, and the longest hold any probe
# measured. The logs stay in DIR.
#   scripts/soak.sh RUNS HOGS DIR
set -euo pipefail
runs=$1
hogs=$2
dir=$3
cd "$(dirname "$0")/.."
mkdir -p "$dir"

hog_pids=()
trap 'kill "${hog_pids[@]}" 2>/dev/null || true' EXIT
for _ in $(seq "$hogs"); do
    sh -c 'while :; do :; done' &
    hog_pids+=($!)
done

failed=0
declare -A failures=()
for run in $(seq "$runs"); do
    log=$dir/run-$run.log
    if ctest --preset ci --verbose >"$log" 2>&1; then
        echo "soak: run $run of $runs passed"
    else
        failed=$((failed + 1))
        names=$(sed -n 's/^[[:space:]]*[0-9]* - \([^ ]*\) (.*/\1/p' "$log" | tr '\n' ' ')
        for name in $names; do failures[$name]=$((${failures[$name]:-0} + 1)); done
        echo "soak: run $run of $runs FAILED: $names(log: $log)"
    fi
done

# Every hold a probe reported, X or Wayland, in any run.
longest=$(cat "$dir"/run-*.log | grep -o '"hold": *[0-9.]*' | grep -o '[0-9.]*$' | sort -n | tail -n 1)
echo
echo "soak: $runs runs of the whole suite beside $hogs busy loops: $failed failed; the longest hold measured ${longest:-none} ms"
for name in "${!failures[@]}"; do
    echo "soak:   $name failed in ${failures[$name]} of $runs runs"
done
echo "soak: $((runs - failed)) passed, $failed failed"
[ $failed -eq 0 ]
