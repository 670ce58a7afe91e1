#!/bin/sh
# Installs, from Debian's packages, what the named tasks need and the machine
# lacks. Safe to run again: packages already present are left alone.
#   scripts/install-deps.sh build|test|windows|package|bench...
set -eu

packages_for() {
    case $1 in
    build) echo cmake make g++ pkg-config libsdl1.2-dev ;;
    # Both SDL 1.2 runtimes (sdl12-compat sits beside the classic library),
    # a real X server, the Xlib headers for the window probe, the linters.
    test) echo "$(packages_for build) libsdl1.2-compat xvfb xauth libx11-dev clang-format clang-tidy cppcheck" ;;
    *) echo "install-deps: unknown task '$1'" >&2; exit 2 ;;
    esac
}

wanted=""
for task in "$@"; do
    wanted="$wanted $(packages_for "$task")"
done

missing=""
for pkg in $wanted; do
    case " $missing " in *" $pkg "*) continue ;; esac
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
        missing="$missing $pkg"
    fi
done
[ -n "$missing" ] || exit 0

if [ "$(id -u)" -eq 0 ]; then
    as_root=""
elif command -v sudo >/dev/null 2>&1; then
    as_root="sudo"
else
    echo "install-deps: these Debian packages are missing:$missing" >&2
    echo "install-deps: run as root, or install sudo, or install them yourself: apt-get install$missing" >&2
    exit 1
fi

echo "install-deps: installing$missing"
export DEBIAN_FRONTEND=noninteractive
$as_root apt-get update -q
# shellcheck disable=SC2086
$as_root apt-get install -y -q --no-install-recommends $missing
