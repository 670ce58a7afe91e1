#!/bin/sh
# SPDX-License-Identifier: Zlib
# Checks what `make package` built.
#   check-package.sh deb FILE [RUNNER...]
#                                     lintian finds no error or warning; unpacked,
#                                     it holds the program and its man page, a valid
#                                     desktop entry with its icon and AppStream
#                                     metadata, depends on SDL 1.2, and the program
#                                     takes its failure path (run through RUNNER,
#                                     qemu-user say, where it is another
#                                     architecture's)
#   check-package.sh source DSC       the source package unpacks and builds its .deb
#   check-package.sh man FILE         the man page passes mandoc's lint
#   check-package.sh zip FILE VERSION the Windows zip holds exactly its files, text
#                                     in CRLF, the exe's version resource says VERSION
#                                     and it has an icon; the zip's entries are in
#                                     order and dated as the source, the executables
#                                     carry no link time
set -eu
kind=$1
file=$2
[ -f "$file" ] || { echo "no $file: run 'make package' first" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "check-package: $*" >&2; exit 1; }

case $kind in
deb)
    # Any error or warning fails; information and pedantic tags do not.
    lintian --fail-on error,warning --display-info "$file" || fail "lintian rejects $file"
    dpkg-deb --extract "$file" "$work"
    for f in usr/bin/quorvantel usr/share/man/man1/quorvantel.1.gz usr/share/doc/quorvantel/copyright; do
        [ -f "$work/$f" ] || fail "the package lacks /$f"
    done
    # The desktop entry and the metadata that points at it, both valid, and
    # the entry's icon in every size the theme looks for.
    desktop=$(cd "$work" && ls usr/share/applications/*.desktop)
    metainfo=$(cd "$work" && ls usr/share/metainfo/*.metainfo.xml)
    desktop-file-validate "$work/$desktop" || fail "desktop-file-validate rejects /$desktop"
    appstreamcli validate --pedantic --no-net "$work/$metainfo" || fail "appstreamcli rejects /$metainfo"
    grep -q "<launchable type=\"desktop-id\">$(basename "$desktop")</launchable>" "$work/$metainfo" ||
        fail "/$metainfo does not launch $(basename "$desktop")"
    icon=$(sed -n 's/^Icon=//p' "$work/$desktop")
    for size in 16x16 24x24 32x32 48x48 64x64 128x128 256x256; do
        png=usr/share/icons/hicolor/$size/apps/$icon.png
        [ "$(identify -format %wx%h "$work/$png" 2>/dev/null)" = "$size" ] || fail "no $size icon /$png"
    done
    [ -f "$work/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no scalable icon $icon.svg"
    depends=$(dpkg-deb --field "$file" Depends)
    echo "Depends: $depends"
    wanted=$(echo "$depends" | tr ',' '\n' | sed -n 's/^ *libsdl1\.2debian (>= *\([^)]*\)).*/\1/p')
    [ -n "$wanted" ] || fail "no versioned dependency on libsdl1.2debian"
    # What this release has satisfies it: its own libsdl1.2debian (classic
    # SDL or sdl12-compat), and sdl12-compat's shim where the release has one.
    own=$(apt-cache show libsdl1.2debian 2>/dev/null | sed -n 's/^Version: //p' | head -n 1)
    [ -n "$own" ] || fail "apt knows no libsdl1.2debian to compare with"
    dpkg --compare-versions "$own" ge "$wanted" || fail "libsdl1.2debian $own does not satisfy >= $wanted"
    shim=$(apt-cache show libsdl1.2-compat-shim 2>/dev/null | sed -n 's/^Provides:.*libsdl1\.2debian (= \([^)]*\)).*/\1/p' | head -n 1)
    if [ -n "$shim" ]; then
        dpkg --compare-versions "$shim" ge "$wanted" || fail "libsdl1.2-compat-shim's libsdl1.2debian $shim does not satisfy >= $wanted"
    fi
    status=0
    shift 2
    out=$(SDL_VIDEODRIVER=no-such-driver "$@" "$work/usr/bin/quorvantel" 2>/dev/null) || status=$?
    [ "$status" -eq 0 ] || fail "the unpacked program exited $status, not 0"
    [ "$out" = "SDL failed to initialize!" ] || fail "the unpacked program wrote '$out'"
    ;;
source)
    (cd "$work" && dpkg-source --no-check -x "$file" tree >/dev/null) || fail "$file does not unpack"
    (cd "$work/tree" && dpkg-buildpackage -us -uc -b >"$work/build.log" 2>&1) || {
        tail -n 30 "$work/build.log" >&2
        fail "the unpacked source does not build"
    }
    ls "$work"/quorvantel_*_amd64.deb >/dev/null 2>&1 || fail "building the source made no .deb"
    ;;
man)
    mandoc -T lint -W warning "$file" || fail "mandoc finds fault with $file"
    ;;
zip)
    version=$3
    name=$(basename "$file" .zip)
    listing=$(unzip -Z1 "$file" | grep -v '/$' | sed "s|^$name/||" | sort | tr '\n' ' ')
    echo "$listing"
    [ "$listing" = "COPYING-SDL.txt LICENSE.txt NOTICE.txt README.txt SDL.dll quorvantel.exe " ] ||
        fail "expected COPYING-SDL.txt LICENSE.txt NOTICE.txt README.txt SDL.dll quorvantel.exe in $name/"
    unzip -q -d "$work" "$file"
    dir=$work/$name
    for text in COPYING-SDL.txt LICENSE.txt NOTICE.txt README.txt; do
        lf=$(grep -c . "$dir/$text")
        crlf=$(grep -c "$(printf '\r')\$" "$dir/$text" || true)
        [ "$lf" -gt 0 ] && [ "$crlf" -ge "$lf" ] || fail "$text has lines not ended by CRLF"
    done
    grep -q 'GNU LESSER GENERAL PUBLIC LICENSE' "$dir/COPYING-SDL.txt" || fail "COPYING-SDL.txt is not the LGPL"
    grep -q 'zlib' "$dir/NOTICE.txt" && grep -q 'libsdl1.2_.*\.dsc' "$dir/NOTICE.txt" ||
        fail "NOTICE.txt names neither our licence nor SDL's source"
    for source in $(sed -n 's/^ *\(libsdl1\.2_[^ ]*\.[a-z.]*\).*/\1/p' "$dir/NOTICE.txt" | tr -d '\r'); do
        [ -f "$(dirname "$file")/$source" ] || fail "NOTICE.txt names $source, which is not beside the zip"
    done
    # The version resource holds its strings in UTF-16, each name before its value.
    strings -el "$dir/quorvantel.exe" >"$work/strings"
    for field in FileVersion ProductVersion; do
        value=$(grep -A1 -x "$field" "$work/strings" | sed -n 2p)
        [ "$value" = "$version" ] || fail "$field is '$value', not $version"
    done
    grep -q 'requestedExecutionLevel level="asInvoker"' "$dir/quorvantel.exe" || fail "quorvantel.exe has no manifest"
    # Explorer shows the first icon group; SDL gives its window the one named
    # after its window class. One group serves both.
    wrestool --list --type=group_icon "$dir/quorvantel.exe" | grep -q "name='SDL_APP'" ||
        fail "quorvantel.exe has no icon named SDL_app"
    # What once made two builds differ: the entries' order and times, and the
    # executables' link times.
    unzip -Z1 "$file" | LC_ALL=C sort -c || fail "the zip's entries are not in order"
    date=$("$(dirname "$0")/../scripts/source-date.sh" +%Y%m%d.%H%M%S)
    times=$(TZ=UTC zipinfo -T "$file" | awk '$7 ~ /^[0-9]+\.[0-9]+$/ { print $7 }' | sort -u | tr '\n' ' ')
    [ "$times" = "$date " ] || fail "the zip's entries are dated $times, not as the source ($date)"
    for exe in quorvantel.exe SDL.dll; do
        x86_64-w64-mingw32-objdump -p "$dir/$exe" | grep -q '^Time/Date.*1970$' || fail "$exe carries its link time"
    done
    ;;
*)
    echo "usage: check-package.sh deb|source|man|zip FILE [VERSION]" >&2
    exit 2
    ;;
esac
echo "ok: $file"
