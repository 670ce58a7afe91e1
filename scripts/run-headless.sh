#!/bin/sh
# SPDX-License-Identifier: Zlib
# Runs quorvantel on a private desktop (Xvfb and openbox), for a machine
# without one, takes a picture of the screen in the middle of the hold and
# says in one line what happened.
#   scripts/run-headless.sh PROGRAM DIR     the picture is DIR/quorvantel.png
set -eu
program=$1
dir=$2
here=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$dir"
rm -f "$dir/quorvantel.png"
echo "make run: no DISPLAY or WAYLAND_DISPLAY here, so quorvantel runs on a private X server (Xvfb, with openbox)"
"$here/scripts/desktop.sh" start "$dir/desktop"
trap '"$here/scripts/desktop.sh" stop "$dir/desktop"' EXIT
DISPLAY=":$(cat "$dir/desktop/display")"
export DISPLAY

ms() { date +%s%3N; }
start=$(ms)
"$program" >"$dir/stdout" 2>"$dir/stderr" &
pid=$!
# The window, looked for every 20 ms while the program runs.
shown=""
while kill -0 $pid 2>/dev/null; do
    if geometry=$(xwininfo -name Quorvantel 2>/dev/null); then
        shown=$(ms)
        break
    fi
    sleep 0.02
done
if [ -n "$shown" ]; then
    sleep 1.5
    import -window root "$dir/quorvantel.png"
fi
status=0
wait $pid || status=$?
end=$(ms)
picture=$dir/quorvantel.png

if [ $status -eq 1 ] && [ -n "$shown" ]; then
    size=$(echo "$geometry" | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w " x " h }')
    echo "make run: quorvantel showed its $size window \"Quorvantel\" for about $(awk "BEGIN { printf \"%.1f\", ($end - $shown) / 1000 }") s and exited with status 1; the picture taken mid-hold is $picture"
elif [ $status -eq 0 ]; then
    echo "make run: SDL could not be initialised (quorvantel wrote \"$(cat "$dir/stdout")\", status 0); no picture"
    exit 1
else
    echo "make run: quorvantel exited with status $status after $((end - start)) ms without a window; see $dir/stderr"
    exit 1
fi
