#!/bin/sh
# SPDX-License-Identifier: Zlib
# Lists the SDL 1.2 stacks installed here, one a line, tab-separated:
#   NAME  LD_LIBRARY_PATH-that-selects-it  what-it-is-with-versions
# NAME is one of
#   classic      classic SDL 1.2
#   compat-sdl2  sdl12-compat over SDL 2
#   compat-sdl3  sdl12-compat over sdl2-compat over SDL 3
# What each library is comes from the Debian package that owns it.
set -eu
libdir=/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || gcc -print-multiarch)

# The source package and version of the package that owns FILE ("" if none).
source_of() {
    [ -e "$1" ] || return 0
    pkg=$(dpkg-query -S "$(readlink -f "$1")" 2>/dev/null | sed -n '1s/: .*//p')
    [ -n "$pkg" ] || return 0
    dpkg-query -W -f='${source:Package} ${source:Version}' "$pkg"
}

# describe LIBRARY DIR: the line for the libSDL-1.2.so.0 that DIR on
# LD_LIBRARY_PATH (or none, "") makes the program load.
describe() {
    sdl12=$(source_of "$1")
    case $sdl12 in
    "libsdl1.2 "*)
        printf 'classic\t%s\tSDL %s\n' "$2" "${sdl12#* }"
        ;;
    "sdl12-compat "*)
        sdl2=$(source_of "$libdir/libSDL2-2.0.so.0")
        case $sdl2 in
        "libsdl2 "*)
            printf 'compat-sdl2\t%s\tsdl12-compat %s over SDL %s\n' "$2" "${sdl12#* }" "${sdl2#* }"
            ;;
        "sdl2-compat "*)
            sdl3=$(source_of "$libdir/libSDL3.so.0")
            printf 'compat-sdl3\t%s\tsdl12-compat %s over sdl2-compat %s over SDL %s\n' \
                "$2" "${sdl12#* }" "${sdl2#* }" "${sdl3#* }"
            ;;
        esac
        ;;
    esac
}

describe "$libdir/libSDL-1.2.so.0" ""
# Debian 12 installs sdl12-compat beside classic SDL, in a folder of its own.
if [ -e "$libdir/sdl12-compat/libSDL-1.2.so.0" ]; then
    describe "$libdir/sdl12-compat/libSDL-1.2.so.0" "$libdir/sdl12-compat"
fi
