#!/bin/sh
# SPDX-License-Identifier: Zlib
# Runs quorvantel on a private desktop (Xvfb and openbox), for a machine
# without one, takes the checked picture of its window in the middle of the
# hold (scripts/screenshot.py) and says in one line what happened.
#   scripts/run-headless.sh PROGRAM DIR     the picture is DIR/quorvantel.png
set -eu
program=$1
dir=$2
here=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$dir"
rm -f "$dir/quorvantel.png"
echo "make run: no DISPLAY or WAYLAND_DISPLAY here, so quorvantel runs on a private X server (Xvfb, with openbox)"
"$here/tests/desktop.sh" start "$dir/desktop"
trap '"$here/tests/desktop.sh" stop "$dir/desktop"' EXIT

checked=0
result=$("$here/scripts/screenshot.py" --display-file "$dir/desktop/display" --out "$dir/quorvantel.png" \
    -- "$program" 2>"$dir/screenshot.log") || checked=$?
field() { echo "$result" | sed -n "s/.*\"$1\": \\([^,}]*\\).*/\\1/p"; }
status=$(field status)
if [ $checked -eq 0 ] && [ "$status" = 1 ]; then
    echo "make run: quorvantel showed its 800 x 600 window \"Quorvantel\" and exited with status 1; the picture taken mid-hold, checked, is $dir/quorvantel.png"
elif [ "$status" = 0 ]; then
    echo "make run: SDL could not be initialised (status 0); no picture"
    exit 1
else
    echo "make run: quorvantel exited with status ${status:-unknown}; $(cat "$dir/screenshot.log")"
    exit 1
fi
