#!/bin/sh
# SPDX-License-Identifier: Zlib
# Installs, from Debian's packages, what the named tasks need and the machine
# lacks, on Debian 12, 13 or testing. Safe to run again: what is present is
# left alone. The packages are chosen by what the release offers.
#   scripts/install-deps.sh build|test|windows|package|bench|headless|debian|cross...
# cross is for the architecture QUORVANTEL_ARCH names (arm64, say), which it
# adds to dpkg's.
set -eu

if ! command -v apt-get >/dev/null 2>&1 || ! command -v dpkg-query >/dev/null 2>&1; then
    echo "install-deps: this needs Debian 12, 13 or testing (apt); elsewhere install CMake 3.25, a C++17 compiler, SDL 1.2's development files, Xvfb, Xlib's headers, mingw-w64 and Wine yourself" >&2
    exit 1
fi

if [ "$(id -u)" -eq 0 ]; then
    as_root=""
elif command -v sudo >/dev/null 2>&1; then
    as_root="sudo"
else
    as_root="none"
fi

need_root() {
    if [ "$as_root" = none ]; then
        echo "install-deps: $1; run this as root or install sudo, or do it yourself" >&2
        exit 1
    fi
}

export DEBIAN_FRONTEND=noninteractive
updated=no
update() {
    [ $updated = yes ] && return 0
    need_root "apt's package lists need updating"
    $as_root apt-get update -q
    updated=yes
}

# The version apt would install of a package, "" where the release has none.
candidate() {
    apt-cache policy "$1" 2>/dev/null | sed -n 's/^ *Candidate: //p' | grep -v '^(none)$' || true
}

# A fresh system may have no package lists at all.
[ -n "$(candidate libsdl1.2-dev)" ] || update
if [ -z "$(candidate libsdl1.2-dev)" ]; then
    echo "install-deps: this release has no libsdl1.2-dev; quorvantel needs Debian 12, 13 or testing" >&2
    exit 1
fi

# Where the release's default SDL 1.2 is classic SDL (Debian 12), sdl12-compat
# can be installed beside it, in a folder of its own, so that the tests run on
# both. Elsewhere the default SDL 1.2 is sdl12-compat already.
sdl_runtimes() {
    source=$(apt-cache show "libsdl1.2debian=$(candidate libsdl1.2debian)" 2>/dev/null | sed -n 's/^Source: \([^ ]*\).*/\1/p' | head -n 1)
    if [ "$source" = libsdl1.2 ] && [ -n "$(candidate libsdl1.2-compat)" ]; then
        echo libsdl1.2-compat
    fi
}

# Wine runs the Windows build; some releases have none (testing, at times).
wine_packages() {
    for pkg in wine wine64; do
        [ -z "$(candidate $pkg)" ] || echo $pkg
    done
}

# A Wayland compositor to test on: sway, where the release's runs as root
# (1.10 and later do; Debian 12's 1.7 refuses), or else weston.
wayland_packages() {
    version=$(candidate sway)
    if [ -n "$version" ] && dpkg --compare-versions "$version" ge 1.10; then
        echo sway xwayland
    elif [ -n "$(candidate weston)" ]; then
        echo weston xwayland
    fi
}

# SDL 1.2's development files of one architecture only can be installed at
# a time: the machine's own are named with its architecture, so that
# another's (make cross) are not taken for them.
native=$(dpkg --print-architecture)
arch=${QUORVANTEL_ARCH:-$native}

packages_for() {
    case $1 in
    # The icon is rendered from its SVG by rsvg-convert.
    build) echo cmake make g++ pkg-config dpkg-dev libsdl1.2-dev:$native librsvg2-bin ;;
    # Every SDL 1.2 runtime the release has, a real X server and desktop, a
    # Wayland compositor where one runs,
    # the Xlib headers for the window probe, the linters, valgrind and readelf.
    test) echo "$(packages_for build) $(packages_for headless) $(sdl_runtimes) $(wayland_packages) libx11-dev clang-format clang-tidy cppcheck valgrind binutils" ;;
    # The 64-bit cross compiler, Wine to run the result, what unpacks SDL's
    # Debian source package, and what renders the icon and packs it for Windows.
    windows) echo "cmake make g++-mingw-w64-x86-64 dpkg-dev xz-utils librsvg2-bin icoutils $(wine_packages)" ;;
    # A private desktop (an X server and a small window manager), what gives
    # each server a /tmp of its own (mount, beside util-linux's unshare), and
    # what looks at it and takes and checks its picture.
    headless) echo xvfb xauth x11-utils x11-xserver-utils openbox mount imagemagick python3 ;;
    # The benchmark's driver, its peer (xmessage) and strace.
    bench) echo python3 x11-utils strace ;;
    # Debian's packaging tools and checks, the desktop's checks, and the zip's;
    # strip-nondeterminism gives the zip's entries the source's date.
    package) echo "$(packages_for build) $(packages_for windows) build-essential debhelper lintian mandoc desktop-file-utils appstream zip unzip strip-nondeterminism" ;;
    # A second build on another clock, host and user, and what shows how
    # two builds differ.
    reproducible) echo faketime util-linux git diffoscope-minimal ;;
    # Another architecture's build: Debian's cross compiler, that
    # architecture's SDL 1.2 (whose development files replace the machine's
    # own), qemu-user to run the result, and Debian's tools to package it
    # and check the package.
    cross) echo "cmake make pkg-config dpkg-dev librsvg2-bin build-essential debhelper lintian desktop-file-utils appstream imagemagick qemu-user crossbuild-essential-$arch libsdl1.2-dev:$arch libsdl1.2debian:$arch" ;;
    # Pristine Debian roots for make test-debian and make test-arch, and
    # qemu-user-static and arch-test to make and run a root of another
    # architecture.
    debian) echo mmdebstrap git xz-utils qemu-user-static arch-test ;;
    *) echo "install-deps: unknown task '$1'" >&2; exit 2 ;;
    esac
}

wanted=""
source_needed=no
case " $* " in *" cross "*)
    if [ "$arch" != "$native" ] && ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
        need_root "dpkg needs the architecture $arch added"
        $as_root dpkg --add-architecture "$arch"
        updated=no
        update
    fi ;;
esac
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

if [ -n "$missing" ]; then
    need_root "these Debian packages are missing:$missing (apt-get install$missing)"
    echo "install-deps: installing$missing"
    update
    # shellcheck disable=SC2086
    $as_root apt-get install -y -q --no-install-recommends $missing
fi

# SDL 1.2 for Windows is built from Debian 12's source package, the same on
# every release: that needs a deb-src entry for bookworm on the machine's own
# Debian mirror. apt checks the source against bookworm's signed index. The
# entry is this script's own file; where it is not what this script would
# write now (an earlier version wrote the mirror twice), it is written anew.
has_bookworm_sources() {
    apt-get indextargets --format '$(CODENAME)' 'Created-By: Sources' 2>/dev/null | grep -qx bookworm
}
deb_src=/etc/apt/sources.list.d/quorvantel-deb-src.sources
if [ $source_needed = yes ] && { [ -e $deb_src ] || ! has_bookworm_sources; }; then
    mirror=$("$(dirname "$0")/debian-mirror.sh") ||
        { echo "install-deps: no Debian mirror in apt's sources to take SDL's source package from" >&2; exit 1; }
    entry=$(printf 'Types: deb-src\nURIs: %s\nSuites: bookworm\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg' "$mirror")
    if [ "$(cat $deb_src 2>/dev/null)" != "$entry" ]; then
        need_root "SDL's source package needs a deb-src entry for $mirror bookworm main"
        echo "install-deps: writing $deb_src (deb-src for $mirror bookworm main)"
        printf '%s\n' "$entry" | $as_root tee $deb_src >/dev/null
        updated=no
        update
    fi
fi
