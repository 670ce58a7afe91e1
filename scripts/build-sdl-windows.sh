#!/bin/sh
# SPDX-License-Identifier: Zlib
# Cross-builds SDL 1.2 for 64-bit Windows from Debian 12's source package, the
# same version on every host, once: a finished build in DIR is reused.
#   scripts/build-sdl-windows.sh DIR
# leaves in DIR/prefix SDL.dll, the import library, SDLmain and the headers,
# and SDL's licence (share/doc/SDL/COPYING) with the exact Debian source
# version (share/doc/SDL/VERSION); DIR/source keeps the Debian source package
# files the build used (.dsc, .orig.tar.*, .debian.tar.*). So that the same
# source gives the same bytes, the DLL names its sources by their paths in
# the source tree, not where it was built (SDL's asserts hold __FILE__), and is
# stripped as it is linked, carrying no link time (a separate strip would
# write the time in again); a build made with other flags is made again.
set -eu
version=1.2.15+dfsg2-8
cflags="-g -O2 -ffile-prefix-map=SOURCE=."  # SOURCE: where the source is unpacked
ldflags=-Wl,--strip-all,--no-insert-timestamp
mkdir -p "$1"
dir=$(cd "$1" && pwd)
prefix=$dir/prefix
doc=$prefix/share/doc/SDL
host=x86_64-w64-mingw32

if [ -f "$prefix/bin/SDL.dll" ] && [ -f "$prefix/lib/libSDLmain.a" ] && [ -f "$prefix/include/SDL/SDL.h" ] &&
    [ "$(cat "$doc/VERSION" 2>/dev/null)" = "$version" ] && [ "$(cat "$dir/FLAGS" 2>/dev/null)" = "$cflags $ldflags" ]; then
    exit 0
fi

# The source package is fetched once; what was fetched (or put there) is
# unpacked afresh, and dpkg-source checks it against the .dsc's checksums.
rm -rf "$dir/build" "$prefix" "$dir"/source/libsdl1.2-*/
mkdir -p "$dir/source" "$dir/build"
dsc=libsdl1.2_${version}.dsc
if [ ! -f "$dir/source/$dsc" ]; then
    echo "build-sdl-windows: fetching Debian's SDL $version source package"
    (cd "$dir/source" && apt-get source -q --download-only "libsdl1.2=$version" >"$dir/source.log" 2>&1) || {
        cat "$dir/source.log" >&2
        echo "build-sdl-windows: apt-get source failed; scripts/install-deps.sh windows sets it up" >&2
        exit 1
    }
fi
(cd "$dir/source" && dpkg-source -x "$dsc" >"$dir/unpack.log" 2>&1) || {
    cat "$dir/unpack.log" >&2
    exit 1
}
src=$(find "$dir/source" -mindepth 1 -maxdepth 1 -type d -name 'libsdl1.2-*' | head -n 1)

echo "build-sdl-windows: building $(basename "$src") for $host (log: $dir/build.log)"
cd "$dir/build"
{
    "$src/configure" --host=$host --prefix="$prefix" --disable-static \
        CFLAGS="$(echo "$cflags" | sed "s|SOURCE|$src|")" LDFLAGS="$ldflags" &&
        make -j"$(nproc)" &&
        make install
} >"$dir/build.log" 2>&1 || {
    tail -n 30 "$dir/build.log" >&2
    exit 1
}
mkdir -p "$doc"
cp "$src/COPYING" "$doc/COPYING"
echo "$version" >"$doc/VERSION"
echo "$cflags $ldflags" >"$dir/FLAGS"
