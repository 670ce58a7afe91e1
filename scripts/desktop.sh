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
    # Openbox announces itself before it is done starting, and a window
    # mapped then can stay unmanaged until openbox hears from the server
    # again: classic SDL once waited eleven minutes for its window to be
    # mapped, until another client's window woke openbox. The desktop is
    # ready when openbox has managed a window of ours, the root touched until
    # it has, and let it go again.
    xmessage -name quorvantel-desktop-check ready >/dev/null 2>&1 &
    check=$!
    managed() { xprop -root _NET_CLIENT_LIST | grep -q 0x; }
    i=0
    until managed; do
        i=$((i + 1))
        [ $i -le 100 ] || { kill $check; echo "openbox manages no window:" >&2; cat "$dir/openbox.log" >&2; exit 1; }
        xprop -root -f _QUORVANTEL_DESKTOP_CHECK 32c -set _QUORVANTEL_DESKTOP_CHECK $i
        sleep 0.05
    done
    kill $check
    i=0
    while managed && [ $i -lt 100 ]; do
        i=$((i + 1))
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
