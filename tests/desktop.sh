#!/bin/sh
# SPDX-License-Identifier: Zlib
# A small private desktop: Xvfb with a plain blue background and openbox, a
# real window manager that frames windows as a desktop user sees them.
#   desktop.sh start DIR [WxHxD]   DIR/display gets the display number once
#                                  openbox manages windows
#   desktop.sh stop DIR
set -eu
. "$(dirname "$0")/server-lib.sh"
action=$1
dir=$(mkdir -p "$2" && cd "$2" && pwd)
case $action in
start)
    rm -f "$dir/display"
    "$(dirname "$0")/xvfb.sh" start "$dir/xvfb" "${3:-1024x768x24}" >/dev/null
    export DISPLAY=":$(cat "$dir/xvfb/display")"
    xsetroot -solid '#3465a4'
    launch "$dir" openbox --sm-disable
    # Openbox announces itself (_NET_SUPPORTING_WM_CHECK) before it is done
    # starting, and a window mapped then can stay unmanaged until openbox
    # hears from the server again: classic SDL once waited eleven minutes for
    # its window to be mapped, until another client's window woke openbox.
    # The desktop is ready when openbox has managed a window of ours, the root
    # touched until it has, and let it go again.
    xmessage -name quorvantel-desktop-check ready >/dev/null 2>&1 &
    check=$!
    managed() {
        xprop -root -f _QUORVANTEL_DESKTOP_CHECK 32c -set _QUORVANTEL_DESKTOP_CHECK 1 &&
            xprop -root _NET_CLIENT_LIST 2>/dev/null | grep -q 0x
    }
    await openbox "$dir" managed || { kill $check; exit 1; }
    kill $check
    wait $check 2>/dev/null || true
    unmanaged() { ! xprop -root _NET_CLIENT_LIST | grep -q 0x; }
    await openbox "$dir" unmanaged
    cp "$dir/xvfb/display" "$dir/display"
    ;;
stop)
    stop_server "$dir"
    "$(dirname "$0")/xvfb.sh" stop "$dir/xvfb"
    ;;
*)
    echo "usage: desktop.sh start|stop DIR [WxHxD]" >&2
    exit 2
    ;;
esac
