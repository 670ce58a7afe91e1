#!/bin/sh
# SPDX-License-Identifier: Zlib
# Starts or stops a private sway, a real Wayland compositor, on its headless
# backend, with Xwayland, for the tests.
#   sway.sh start DIR   DIR/env gets the variables that reach it: XDG_RUNTIME_DIR,
#                       WAYLAND_DISPLAY, SWAYSOCK, and XWAYLAND_DISPLAY (Xwayland's DISPLAY)
#   sway.sh stop DIR
set -eu
. "$(dirname "$0")/server-lib.sh"
action=$1
dir=$(mkdir -p "$2" && cd "$2" && pwd)
case $action in
start)
    rm -rf "$dir/run" "$dir/env"
    mkdir -m 0700 "$dir/run"
    printf 'output HEADLESS-1 resolution 1280x1024\nxwayland force\n' >"$dir/config"
    XDG_RUNTIME_DIR=$dir/run WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
        setsid sway --config "$dir/config" </dev/null >"$dir/sway.log" 2>&1 &
    echo $! >"$dir/pid"
    listening() { [ -S "$dir/run/wayland-1" ] && ls "$dir/run"/sway-ipc.*.sock >/dev/null 2>&1; }
    await sway "$dir" "$dir/sway.log" listening
    sock=$(ls "$dir/run"/sway-ipc.*.sock)
    # Xwayland's display is in the environment sway gives what it starts.
    SWAYSOCK=$sock swaymsg exec "echo \$DISPLAY >$dir/xwayland-display" >/dev/null
    i=0
    until [ -s "$dir/xwayland-display" ]; do
        i=$((i + 1))
        [ $i -le 100 ] || { echo "sway started no Xwayland" >&2; exit 1; }
        sleep 0.1
    done
    printf 'XDG_RUNTIME_DIR=%s\nWAYLAND_DISPLAY=wayland-1\nSWAYSOCK=%s\nXWAYLAND_DISPLAY=%s\n' \
        "$dir/run" "$sock" "$(cat "$dir/xwayland-display")" >"$dir/env"
    echo "sway $(sway --version | sed 's/sway version //') on $dir/run/wayland-1, Xwayland on $(cat "$dir/xwayland-display")"
    ;;
stop)
    stop_server "$dir"
    ;;
*)
    echo "usage: sway.sh start|stop DIR" >&2
    exit 2
    ;;
esac
