#!/bin/sh
# SPDX-License-Identifier: Zlib
# Starts or stops a private Xvfb for the tests.
#   xvfb.sh start DIR [WxHxD]  start Xvfb on a free display (screen 1280x1024x24 unless
#                              given); DIR/display gets its number, DIR/pid its pid
#   xvfb.sh stop DIR           stop it
set -eu
action=$1
dir=$2

case $action in
start)
    mkdir -p "$dir"
    rm -f "$dir/display" "$dir/pid"
    # No inherited pipe may stay open, or the caller would wait for Xvfb to end.
    setsid Xvfb -displayfd 3 -nolisten tcp -noreset -screen 0 "${3:-1280x1024x24}" \
        3>"$dir/display" </dev/null >"$dir/xvfb.log" 2>&1 &
    echo $! >"$dir/pid"
    i=0
    until [ -s "$dir/display" ]; do
        i=$((i + 1))
        if [ $i -gt 100 ] || ! kill -0 "$(cat "$dir/pid")" 2>/dev/null; then
            echo "Xvfb did not start:" >&2
            cat "$dir/xvfb.log" >&2
            exit 1
        fi
        sleep 0.1
    done
    echo "Xvfb on :$(cat "$dir/display"), pid $(cat "$dir/pid")"
    ;;
stop)
    [ -f "$dir/pid" ] || exit 0
    pid=$(cat "$dir/pid")
    kill "$pid" 2>/dev/null || true
    i=0
    while kill -0 "$pid" 2>/dev/null && [ $i -lt 50 ]; do
        i=$((i + 1))
        sleep 0.1
    done
    rm -f "$dir/pid" "$dir/display"
    ;;
*)
    echo "usage: xvfb.sh start|stop DIR" >&2
    exit 2
    ;;
esac
