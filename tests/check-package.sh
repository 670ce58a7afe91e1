#!/bin/sh
# Checks a built package.
#   check-package.sh deb FILE   unpack the .deb into a temporary root, check its
#                               files and dependency, and run the unpacked program
#                               on its failure path
#   check-package.sh zip FILE   check the Windows zip holds exactly what it should
set -eu
kind=$1
file=$2
[ -f "$file" ] || { echo "no $file: run 'make package' first" >&2; exit 1; }
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
fail() { echo "check-package: $*" >&2; exit 1; }

case $kind in
deb)
    dpkg-deb --extract "$file" "$root"
    for f in usr/bin/quorvantel usr/share/man/man1/quorvantel.1.gz; do
        [ -f "$root/$f" ] || fail "the package lacks /$f"
    done
    gzip -t "$root/usr/share/man/man1/quorvantel.1.gz" || fail "the man page is not valid gzip"
    gzip -dc "$root/usr/share/man/man1/quorvantel.1.gz" | grep -q '^\.SH EXIT STATUS' || fail "the man page has no EXIT STATUS"

    # Both runtimes must satisfy the dependency: classic SDL's own package,
    # and sdl12-compat's shim, which provides that package's name.
    depends=$(dpkg-deb --field "$file" Depends)
    echo "Depends: $depends"
    wanted=$(echo "$depends" | tr ',' '\n' | sed -n 's/^ *libsdl1\.2debian (>= *\([^)]*\)).*/\1/p')
    [ -n "$wanted" ] || fail "no versioned dependency on libsdl1.2debian"
    classic=$(apt-cache show libsdl1.2debian 2>/dev/null | sed -n 's/^Version: //p' | head -n 1)
    shim=$(apt-cache show libsdl1.2-compat-shim 2>/dev/null | sed -n 's/^Provides:.*libsdl1\.2debian (= \([^)]*\)).*/\1/p' | head -n 1)
    [ -n "$classic" ] && [ -n "$shim" ] || fail "apt knows no libsdl1.2debian or libsdl1.2-compat-shim to compare with"
    dpkg --compare-versions "$classic" ge "$wanted" || fail "libsdl1.2debian $classic does not satisfy >= $wanted"
    dpkg --compare-versions "$shim" ge "$wanted" || fail "libsdl1.2-compat-shim's libsdl1.2debian $shim does not satisfy >= $wanted"

    # The unpacked program, on the failure path: the message, status 0.
    status=0
    out=$(SDL_VIDEODRIVER=no-such-driver "$root/usr/bin/quorvantel" 2>/dev/null) || status=$?
    [ "$status" -eq 0 ] || fail "the unpacked program exited $status, not 0"
    [ "$out" = "SDL failed to initialize!" ] || fail "the unpacked program wrote '$out'"
    ;;
zip)
    expected=$(basename "$file" .zip)
    listing=$(unzip -Z1 "$file" | grep -v '/$' | sort | tr '\n' ' ')
    echo "$listing"
    [ "$listing" = "$expected/README.txt $expected/SDL.dll $expected/quorvantel.exe " ] ||
        fail "expected README.txt, SDL.dll and quorvantel.exe in $expected/"
    unzip -q -d "$root" "$file"
    cmp -s "$root/$expected/SDL.dll" "$(dirname "$file")/../build/windows/SDL.dll" ||
        fail "the zip's SDL.dll is not the one the Windows build runs with"
    ;;
*)
    echo "usage: check-package.sh deb|zip FILE" >&2
    exit 2
    ;;
esac
echo "ok: $file"
