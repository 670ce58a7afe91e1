#!/bin/sh
# SPDX-License-Identifier: Zlib
# Finds the SDL 1.2 stacks installed here for ARCH (default: the machine's
# own architecture), as tests/sdl-stacks.txt describes them, and lists them
# one a line, tab-separated:
#   NAME  LD_LIBRARY_PATH-that-selects-it  what-it-is-with-versions
# A libSDL-1.2 that no row describes is an error, which says what to add.
# Only CMake reads this (tests/CMakeLists.txt); it writes what it found to
# sdl-stacks.tsv in the build folder for the others.
#   scripts/sdl-stacks.sh [ARCH]
set -eu
table=$(dirname "$0")/../tests/sdl-stacks.txt
libdir=/usr/lib/$(dpkg-architecture ${1:+-a"$1"} -qDEB_HOST_MULTIARCH 2>/dev/null || gcc -print-multiarch)

# The source package and version of the package that owns FILE ("" if none).
source_of() {
    [ -e "$1" ] || return 0
    pkg=$(dpkg-query -S "$(readlink -f "$1")" 2>/dev/null | sed -n '1s/: .*//p')
    [ -n "$pkg" ] || return 0
    dpkg-query -W -f='${source:Package} ${source:Version}' "$pkg"
}

rows=$(grep -v '^#' "$table" | grep .)
folders=$(echo "$rows" | awk '{ print $4 }' | sort -u)
for folder in $folders; do
    dir=$libdir
    path=""
    if [ "$folder" != - ]; then
        dir=$libdir/$folder path=$libdir/$folder
    fi
    [ -e "$dir/libSDL-1.2.so.0" ] || continue
    # The first row whose every library is installed from its source: the
    # first library from this folder, the ones it loads from the system's.
    found=""
    while read -r name libraries sources _; do
        what="" from=$dir i=0
        for library in $(echo "$libraries" | tr , ' '); do
            i=$((i + 1))
            source=$(echo "$sources" | cut -d , -f $i)
            owner=$(source_of "$from/$library")
            [ "${owner% *}" = "$source" ] || continue 2
            what="${what:+$what over }$owner"
            from=$libdir
        done
        found=$name
        printf '%s\t%s\t%s\n' "$name" "$path" "$what"
        break
    done <<EOF
$rows
EOF
    if [ -z "$found" ]; then
        seen=""
        for library in $(echo "$rows" | awk '{ print $2 }' | tr , '\n' | sort -u); do
            [ "$library" = libSDL-1.2.so.0 ] && from=$dir || from=$libdir
            seen="$seen $library: $(source_of "$from/$library" || true);"
        done
        echo "sdl-stacks.sh: no row of tests/sdl-stacks.txt describes $dir/libSDL-1.2.so.0 (installed:$seen): add one" >&2
        exit 1
    fi
done
