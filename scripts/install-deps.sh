#!/bin/sh
# Installs, from Debian's packages, what the named tasks need and the machine
# lacks. Safe to run again: what is present is left alone.
#   scripts/install-deps.sh build|test|windows|package|bench...
set -eu

packages_for() {
    case $1 in
    build) echo cmake make g++ pkg-config libsdl1.2-dev ;;
    # Both SDL 1.2 runtimes (sdl12-compat sits beside the classic library),
    # a real X server, the Xlib headers for the window probe, the linters,
    # valgrind and readelf.
    test) echo "$(packages_for build) libsdl1.2-compat xvfb xauth libx11-dev clang-format clang-tidy cppcheck valgrind binutils" ;;
    # The cross compiler, Wine to run the result, and what unpacks SDL's
    # Debian source package.
    windows) echo cmake make mingw-w64 wine wine64 dpkg-dev xz-utils ;;
    # The benchmark's driver, its peer (xmessage) and strace.
    bench) echo python3 x11-utils strace ;;
    package) echo "$(packages_for build) $(packages_for windows) zip unzip" ;;
    *) echo "install-deps: unknown task '$1'" >&2; exit 2 ;;
    esac
}

if [ "$(id -u)" -eq 0 ]; then
    as_root=""
elif command -v sudo >/dev/null 2>&1; then
    as_root="sudo"
else
    as_root="none"
fi

need_root() {
    if [ "$as_root" = none ]; then
        echo "install-deps: $1" >&2
        echo "install-deps: run this as root or install sudo, or do it yourself." >&2
        exit 1
    fi
}

wanted=""
source_needed=no
for task in "$@"; do
    wanted="$wanted $(packages_for "$task")"
    case $task in windows | package) source_needed=yes ;; esac
done

missing=""
for pkg in $wanted; do
    case " $missing " in *" $pkg "*) continue ;; esac
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
        missing="$missing $pkg"
    fi
done

export DEBIAN_FRONTEND=noninteractive
if [ -n "$missing" ]; then
    need_root "these Debian packages are missing:$missing (apt-get install$missing)"
    echo "install-deps: installing$missing"
    $as_root apt-get update -q
    # shellcheck disable=SC2086
    $as_root apt-get install -y -q --no-install-recommends $missing
fi

# SDL 1.2 for Windows is built from Debian's own source package, which needs a
# deb-src entry beside the machine's bookworm mirror.
if [ $source_needed = yes ] && ! apt-cache showsrc libsdl1.2 >/dev/null 2>&1; then
    mirror=$(awk '
        /^[[:space:]]*$/ { if (deb && bookworm && uri != "") { print uri; exit } deb = bookworm = 0; uri = "" }
        /^Types:/ && / deb( |$)/ { deb = 1 }
        /^Suites:/ && / bookworm( |$)/ { bookworm = 1 }
        /^URIs:/ { uri = $2 }
        END { if (deb && bookworm && uri != "") print uri }' /etc/apt/sources.list.d/*.sources 2>/dev/null | head -n 1)
    if [ -z "$mirror" ] && [ -f /etc/apt/sources.list ]; then
        mirror=$(awk '$1 == "deb" && / bookworm / { for (i = 2; i <= NF; i++) if ($i ~ /:\/\//) { print $i; exit } }' /etc/apt/sources.list)
    fi
    [ -n "$mirror" ] || { echo "install-deps: no bookworm mirror in apt's sources to take SDL's source package from" >&2; exit 1; }
    need_root "SDL's source package needs a deb-src entry for $mirror bookworm main"
    echo "install-deps: adding deb-src for $mirror bookworm main"
    printf 'Types: deb-src\nURIs: %s\nSuites: bookworm\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
        "$mirror" | $as_root tee /etc/apt/sources.list.d/quorvantel-deb-src.sources >/dev/null
    $as_root apt-get update -q
fi
