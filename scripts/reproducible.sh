#!/bin/bash
# SPDX-License-Identifier: Zlib
# Builds every artifact of `make package` twice from the committed tree and
# compares them byte for byte: the .deb, its debug symbols, the source
# package (.dsc and .tar.xz) and the Windows zip, and each file in the zip.
# The first build is made as a developer makes it; the second on another
# path, 400 days later by the clock (faketime), in another time zone and
# locale, with umask 077, as another user (nobody) on another host name. Both
# build SDL for Windows from the same Debian source package, fetched once.
# diffoscope shows what differs. Needs root (for the host name).
#   scripts/reproducible.sh DIR
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir=$1
say() { echo "reproducible: $*" >&2; }
[ "$(id -u)" -eq 0 ] || { say "needs root (it builds on another host name)"; exit 1; }

rm -rf "$dir"
first=$dir/first/quorvantel
second=$dir/second/a/much/longer/path/quorvantel-again
git clone --quiet "$top" "$first"
(umask 077 && git clone --quiet "$top" "$second")

say "first build (log: $dir/first.log)"
(cd "$first" && TZ=UTC LC_ALL=C.UTF-8 make package) >"$dir/first.log" 2>&1 ||
    { tail -n 30 "$dir/first.log" >&2; say "the first build failed"; exit 1; }

# The same source package of SDL, as fetched by the first build.
mkdir -p "$second/build/windows-sdl/source"
cp "$first"/build/windows-sdl/source/libsdl1.2_* "$second/build/windows-sdl/source/"
mkdir -p "$dir/second/home"
# The user is nobody in a user namespace of its own, which needs no change
# to the files' owners or to the folders above them. FAKE_UTIME=1: without
# it, Debian 12's libfaketime dates a file that is touched (utime with no
# time given) 1971, and dpkg-source fails.
say "second build (log: $dir/second.log)"
unshare --uts sh -c '
    hostname quorvantel-second-build
    cd "$1"
    exec unshare --user --map-user=nobody --map-group=nogroup \
        env HOME="$2" USER=nobody LOGNAME=nobody TZ=Pacific/Kiritimati LC_ALL=C LANG=C \
        FAKE_UTIME=1 sh -c "umask 077 && exec faketime -f +400d sh -c \"date; id -un; hostname; exec make package\""
    ' second "$second" "$dir/second/home" >"$dir/second.log" 2>&1 ||
    { tail -n 30 "$dir/second.log" >&2; say "the second build failed"; exit 1; }

# Each artifact, and each file in the zip, by its checksum.
artifacts() {
    (cd "$1/dist" && sha256sum -- quorvantel*.deb quorvantel_*.dsc quorvantel_*.tar.* quorvantel-*.zip)
    local zip
    zip=$(ls "$1"/dist/*.zip)
    unzip -Z1 "$zip" | while read -r entry; do
        echo "$(unzip -p "$zip" "$entry" | sha256sum | cut -d' ' -f1)  $(basename "$zip"):$entry"
    done
}
artifacts "$first" >"$dir/first.sha256"
artifacts "$second" >"$dir/second.sha256"

same=0
differ=0
while read -r sum name; do
    other=$(awk -v name="$name" '$2 == name { print $1 }' "$dir/second.sha256")
    if [ "$sum" = "$other" ]; then
        same=$((same + 1))
        echo "identical: $name"
    else
        differ=$((differ + 1))
        echo "DIFFERS: $name"
        case $name in
        *:*) ;;  # a file in the zip: diffoscope shows it with the zip
        *) diffoscope --text "$dir/${name}.diff" "$first/dist/$name" "$second/dist/$name" >/dev/null 2>&1 || true
           say "what differs in $name: $dir/${name}.diff" ;;
        esac
    fi
done <"$dir/first.sha256"
[ "$(wc -l <"$dir/first.sha256")" = "$(wc -l <"$dir/second.sha256")" ] ||
    { differ=$((differ + 1)); echo "DIFFERS: the second build made other artifacts"; }
echo "reproducible: $same passed, $differ failed"
[ $differ -eq 0 ]
