#!/bin/bash
# SPDX-License-Identifier: Zlib
# How reliable the suite is, as figures: runs the whole suite RUNS times in a
# row, with HOGS busy loops beside it, and prints which runs failed and in
# which tests, and each timed expectation's worst value against its bound
# (scripts/soak-margins.py, from each run's JUnit file). Warm, each run is
# ctest --preset PRESET (ci, or asan or cross-tests after make asan or make
# test-cross) on the build already made. With COLD=1, each run is
# make test in a fresh clone of the committed tree with an empty build
# folder: a new Wine prefix, new fixtures, the SDL for Windows built anew.
# The logs and JUnit files stay in DIR.
#   scripts/soak.sh RUNS HOGS DIR
set -euo pipefail
runs=$1
hogs=$2
dir=$(mkdir -p "$3" && cd "$3" && pwd)
cd "$(dirname "$0")/.."
rm -f "$dir"/run-*.xml "$dir"/run-*.log

hog_pids=()
trap 'kill "${hog_pids[@]}" 2>/dev/null || true' EXIT
for _ in $(seq "$hogs"); do
    sh -c 'while :; do :; done' &
    hog_pids+=($!)
done

for run in $(seq "$runs"); do
    log=$dir/run-$run.log
    junit=$dir/run-$run.xml
    t=$(date +%s)
    if [ "${COLD:-0}" = 1 ]; then
        clone=$dir/clone
        rm -rf "$clone"
        git clone -q . "$clone"
        (cd "$clone" && make test-build && ctest --preset ci --output-junit "$junit") >"$log" 2>&1 || :
    else
        ctest --preset "${PRESET:-ci}" --output-junit "$junit" >"$log" 2>&1 || :
    fi
    # A run that ended before its tests did (a failed build) has no JUnit file.
    [ -f "$junit" ] || { echo "soak: run $run of $runs did not run its tests (log: $log)"; exit 1; }
    echo "soak: run $run of $runs done in $(($(date +%s) - t)) s"
done

echo
echo "soak: $runs runs of ${PRESET:-ci} beside $hogs busy loops$([ "${COLD:-0}" = 1 ] && echo ", each cold")"
scripts/soak-margins.py "$dir"/run-*.xml
