#!/bin/sh
# SPDX-License-Identifier: Zlib
# A small private desktop: Xvfb with a plain blue background and openbox, a
# real window manager that frames windows as a desktop user sees them.
#   scripts/desktop.sh start DIR [WxHxD]   DIR/display gets the display number
#   scripts/desktop.sh stop DIR
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
action=$1
dir=$2
case $action in
start)
    "$here/tests/xvfb.sh" start "$dir" "${3:-1024x768x24}" >/dev/null
    export DISPLAY=":$(cat "$dir/display")"
    xsetroot -solid '#3465a4'
    setsid openbox --sm-disable </dev/null >"$dir/openbox.log" 2>&1 &
    echo $! >"$dir/openbox.pid"
    i=0
    until xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; do
        i=$((i + 1))
        [ $i -le 100 ] || { echo "openbox did not start:" >&2; cat "$dir/openbox.log" >&2; exit 1; }
        sleep 0.05
    done
    ;;
stop)
    [ -f "$dir/openbox.pid" ] && kill "$(cat "$dir/openbox.pid")" 2>/dev/null || true
    rm -f "$dir/openbox.pid"
    "$here/tests/xvfb.sh" stop "$dir"
    ;;
*)
    echo "usage: desktop.sh start|stop DIR [WxHxD]" >&2
    exit 2
    ;;
esac
