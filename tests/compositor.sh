#!/bin/sh
# SPDX-License-Identifier: Zlib
# Starts or stops a private Wayland compositor with Xwayland, on its headless
# backend, for the tests: sway where it is installed (its window events time
# the window), else weston (Debian 12's sway refuses to run as root).
#   compositor.sh start DIR   DIR/env gets what reaches it: XDG_RUNTIME_DIR,
#                             WAYLAND_DISPLAY, XWAYLAND_DISPLAY (Xwayland's
#                             DISPLAY) and, under sway, SWAYSOCK; DIR/display
#                             gets Xwayland's display number
#   compositor.sh stop DIR
set -eu
. "$(dirname "$0")/server-lib.sh"
action=$1
dir=$(mkdir -p "$2" && cd "$2" && pwd)
case $action in
start)
    rm -rf "$dir/run" "$dir/env" "$dir/display" "$dir/xwayland-display"
    mkdir -m 0700 "$dir/run"
    export XDG_RUNTIME_DIR="$dir/run"
    if command -v sway >/dev/null; then
        name="sway $(sway --version | sed 's/sway version //')"
        printf 'output HEADLESS-1 resolution 1280x1024\nxwayland force\n' >"$dir/config"
        # Xwayland's display is in the environment sway gives what it starts.
        printf 'exec echo $DISPLAY >%s/xwayland-display\n' "$dir" >>"$dir/config"
        launch "$dir" env WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
            sway --config "$dir/config"
        listening() {
            [ -S "$dir/run/wayland-1" ] && [ -s "$dir/xwayland-display" ] && ls "$dir/run"/sway-ipc.*.sock >/dev/null 2>&1
        }
        await sway "$dir" listening
        echo "SWAYSOCK=$(ls "$dir/run"/sway-ipc.*.sock)" >"$dir/env"
        display=$(sed 's/^://' "$dir/xwayland-display")
    else
        name="weston $(weston --version | sed 's/weston //')"
        launch "$dir" weston --backend=headless-backend.so --xwayland --socket=wayland-1 \
            --width=1280 --height=1024 --idle-time=0
        listening() {
            display=$(sed -n 's/.*xserver listening on display :\([0-9]*\).*/\1/p' "$dir/server.log") &&
                [ -n "$display" ] && [ -S "$dir/run/wayland-1" ]
        }
        await weston "$dir" listening
        # weston starts Xwayland when the first X client arrives: be that
        # client, and make sure it is Xwayland that answers (its outputs are
        # XWAYLAND0...).
        if ! xrandr --display ":$display" --query 2>/dev/null | grep -q "^XWAYLAND"; then
            echo "no Xwayland answered on :$display:" >&2
            tail -n 20 "$dir/server.log" >&2
            exit 1
        fi
    fi
    printf 'XDG_RUNTIME_DIR=%s\nWAYLAND_DISPLAY=wayland-1\nXWAYLAND_DISPLAY=:%s\n' "$dir/run" "$display" >>"$dir/env"
    echo "$display" >"$dir/display"
    echo "$name on $dir/run/wayland-1, Xwayland on :$display"
    ;;
stop)
    stop_server "$dir"
    ;;
*)
    echo "usage: compositor.sh start|stop DIR" >&2
    exit 2
    ;;
esac
