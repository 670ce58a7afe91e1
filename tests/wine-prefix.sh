#!/bin/sh
# SPDX-License-Identifier: Zlib
# Prepares or stops the Wine the Windows tests run in.
#   wine-prefix.sh start DIR DISPLAY_FILE BUILD CASE...
#       make DIR/prefix if it is missing, keep a wineserver and Wine's services
#       running for the tests, and give each CASE a folder DIR/cases/CASE with
#       copies of quorvantel.exe and SDL.dll from the Windows build in BUILD
#   wine-prefix.sh stop DIR                 stop that wineserver
# The environment (WINEPREFIX, WINEDEBUG, WINEDLLOVERRIDES) comes from the
# caller. Wine runs with DIR/tmp as its /tmp (private-tmp.sh), where its
# server's socket is; the tests run Wine so too.
set -eu
action=$1
dir=$2
mkdir -p "$dir"
log=$dir/wine.log
in_dir() { "$(dirname "$0")/private-tmp.sh" "$dir" "$@"; }

ms() { date +%s%3N; }

case $action in
start)
    export DISPLAY=":$(cat "$3")"
    build=$4
    shift 4
    for file in quorvantel.exe SDL.dll; do
        [ -f "$build/$file" ] || { echo "no $build/$file: run 'make windows' first" >&2; exit 1; }
    done
    for case in "$@"; do
        mkdir -p "$dir/cases/$case"
        cp --remove-destination "$build/quorvantel.exe" "$build/SDL.dll" "$dir/cases/$case/"
    done
    # Nothing started here may hold the caller's output open: Wine's services
    # outlive this script.
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        t=$(ms)
        # wineboot reports the 32-bit half this 64-bit Wine lacks as a failure.
        in_dir wineboot --init </dev/null >>"$log" 2>&1 || true
        in_dir wineserver --wait
        if [ ! -f "$WINEPREFIX/system.reg" ]; then
            echo "could not make the Wine prefix:" >&2
            cat "$log" >&2
            exit 1
        fi
        echo "made the Wine prefix in $(($(ms) - t)) ms"
    fi
    t=$(ms)
    in_dir wineserver --persistent </dev/null >>"$log" 2>&1
    in_dir wine cmd.exe /c exit 0 </dev/null >>"$log" 2>&1
    echo "wineserver and services up in $(($(ms) - t)) ms"
    ;;
stop)
    in_dir wineserver --kill </dev/null >>"$log" 2>&1 || true
    ;;
*)
    echo "usage: wine-prefix.sh start DIR DISPLAY_FILE BUILD CASE... | stop DIR" >&2
    exit 2
    ;;
esac
