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
        # Sway's window events time the hold, with no stamp of their own: sway
        # runs at real-time priority where that is allowed, so that a busy
        # machine does not hold back an event (a hold of 2988 ms was measured
        # so, a make test in a Debian root beside it).
        rt=""
        if chrt -f 10 true 2>/dev/null; then
            rt="chrt -f 10"
        fi
        launch "$dir" $rt env WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
            sway --config "$dir/config"
        listening() {
            [ -S "$dir/run/wayland-1" ] && [ -s "$dir/xwayland-display" ] && ls "$dir/run"/sway-ipc.*.sock >/dev/null 2>&1
        }
        await sway "$dir" listening
        echo "SWAYSOCK=$(ls "$dir/run"/sway-ipc.*.sock)" >"$dir/env"
        display=$(sed 's/^://' "$dir/xwayland-display")
    else
        name="weston $(weston --version | sed 's/weston //')"
        # weston picks Xwayland's display by the lock files in its /tmp, and
        # where another server holds that display's abstract socket it goes
        # on without one: its X clients then reached that other server. The
        # displays in use are marked taken in its own /tmp (pid 1: alive), and
        # one taken meanwhile makes it start again, until the Xwayland that
        # answers is its own (its outputs are XWAYLAND0...).
        mkdir -p "$dir/tmp"
        rm -f "$dir"/tmp/.X*-lock
        taken() { printf '%10d\n' 1 >"$dir/tmp/.X$1-lock"; }
        for n in $(sed -n 's|.* @/tmp/\.X11-unix/X\([0-9][0-9]*\)$|\1|p' /proc/net/unix | sort -u); do
            taken "$n"
        done
        attempt=0
        while :; do
            rm -f "$dir/run/wayland-1"
            launch "$dir" weston --backend=headless-backend.so --xwayland --socket=wayland-1 \
                --width=1280 --height=1024 --idle-time=0
            listening() {
                display=$(sed -n 's/.*xserver listening on display :\([0-9]*\).*/\1/p' "$dir/server.log" 2>/dev/null) &&
                    [ -n "$display" ] && [ -S "$dir/run/wayland-1" ]
            }
            await weston "$dir" listening
            # weston starts Xwayland when the first X client arrives.
            if xrandr --display ":$display" --query 2>/dev/null | grep -q "^XWAYLAND"; then
                break
            fi
            stop_server "$dir"
            attempt=$((attempt + 1))
            if [ $attempt -ge 10 ]; then
                echo "no Xwayland of weston's answered on :$display:" >&2
                tail -n 20 "$dir/server.log" >&2
                exit 1
            fi
            taken "$display"
        done
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
