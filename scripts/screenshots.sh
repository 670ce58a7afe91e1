#!/bin/sh
# SPDX-License-Identifier: Zlib
# Pictures of quorvantel's window for the docs, each on a private desktop
# (Xvfb and openbox) in the middle of the hold, each checked: one for every
# SDL 1.2 stack installed here, and one of the Windows build under Wine.
#   scripts/screenshots.sh PROGRAM WINDOWS_BUILD OUT
# writes OUT/screenshot-STACK.png and OUT/screenshot-windows.png.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
program=$1
windows=$2
out=$3
work=$here/build/screenshots
mkdir -p "$work" "$out"
trap '"$here/scripts/desktop.sh" stop "$work/desktop"' EXIT
"$here/scripts/desktop.sh" start "$work/desktop"

"$here/scripts/sdl-stacks.sh" | while IFS= read -r line; do
    stack=$(echo "$line" | cut -f 1)
    path=$(echo "$line" | cut -f 2)
    what=$(echo "$line" | cut -f 3)
    echo "screenshots: $stack ($what)"
    LD_LIBRARY_PATH=$path "$here/scripts/screenshot.py" --display-file "$work/desktop/display" \
        --out "$out/screenshot-$stack.png" -- "$program" 2>/dev/null
done

if command -v wine >/dev/null 2>&1 && [ -f "$windows/quorvantel.exe" ]; then
    echo "screenshots: Windows build under $(wine --version)"
    export WINEPREFIX=$work/wine WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml,winemenubuilder.exe=d
    DISPLAY=":$(cat "$work/desktop/display")" wineboot --init >/dev/null 2>&1 || true
    # Wine 8 shows SDL's default title until the hold ends (see the README).
    "$here/scripts/screenshot.py" --display-file "$work/desktop/display" --out "$out/screenshot-windows.png" \
        --title Quorvantel --title SDL_app -- wine "$windows/quorvantel.exe" 2>/dev/null
    wineserver --kill || true
else
    echo "screenshots: no Wine or no Windows build; no Windows picture"
fi
