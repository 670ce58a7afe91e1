#!/bin/sh
# SPDX-License-Identifier: Zlib
# Starts or stops a private weston, a Wayland compositor, on its headless
# backend, with Xwayland, for the tests where sway cannot run.
#   weston.sh start DIR   the compositor's socket is DIR/run/wayland-1;
#                         DIR/display gets Xwayland's display number
#   weston.sh stop DIR
set -eu
. "$(dirname "$0")/server-lib.sh"
action=$1
dir=$(mkdir -p "$2" && cd "$2" && pwd)
case $action in
start)
    rm -rf "$dir/run" "$dir/display" "$dir/weston.log"
    mkdir -m 0700 "$dir/run"
    # X servers make the folder for their sockets themselves; weston, which
    # listens there for Xwayland, does not.
    mkdir -p -m 1777 /tmp/.X11-unix
    # weston picks Xwayland's display by lock files alone, and an Xvfb started
    # with -displayfd leaves none: weston took such a display, its socket in
    # use. Every display with a socket is marked taken while weston starts.
    claimed=""
    trap 'rm -f $claimed' EXIT
    for n in $(sed -n 's|.* @\{0,1\}/tmp/\.X11-unix/X\([0-9][0-9]*\)$|\1|p' /proc/net/unix | sort -u); do
        if (set -C && printf '%10d\n' $$ >"/tmp/.X$n-lock") 2>/dev/null; then
            claimed="$claimed /tmp/.X$n-lock"
        fi
    done
    XDG_RUNTIME_DIR=$dir/run setsid weston --backend=headless-backend.so --xwayland \
        --socket=wayland-1 --width=1280 --height=1024 --idle-time=0 --log="$dir/weston.log" \
        </dev/null >/dev/null 2>&1 &
    echo $! >"$dir/pid"
    listening() {
        display=$(sed -n 's/.*xserver listening on display :\([0-9]*\).*/\1/p' "$dir/weston.log" 2>/dev/null) &&
            [ -n "$display" ] && [ -S "$dir/run/wayland-1" ]
    }
    await weston "$dir" "$dir/weston.log" listening
    # weston starts Xwayland when the first X client arrives: be that client,
    # and make sure it is Xwayland that answers (its outputs are XWAYLAND0...).
    if ! xrandr --display ":$display" --query 2>/dev/null | grep -q "^XWAYLAND"; then
        echo "no Xwayland answered on :$display:" >&2
        tail -n 20 "$dir/weston.log" >&2
        exit 1
    fi
    echo "$display" >"$dir/display"
    echo "weston $(weston --version | sed 's/weston //') on $dir/run/wayland-1, Xwayland on :$display"
    ;;
stop)
    stop_server "$dir"
    ;;
*)
    echo "usage: weston.sh start|stop DIR" >&2
    exit 2
    ;;
esac
