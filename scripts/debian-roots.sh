# SPDX-License-Identifier: Zlib
# Pristine Debian roots, for scripts/test-debian.sh and scripts/test-arch.sh
# (sourced by both). Pristine roots and apt's downloads are cached in
# QUORVANTEL_CACHE (default /var/cache/quorvantel). The roots named in
# COLD_ROOTS (RELEASE, or RELEASE-ARCH for another architecture's) are made
# anew from the mirror even where one is cached, so that the cold path is
# taken. Needs root and Debian's mirror.
top=$(cd "$(dirname "$0")/.." && pwd)
cache=${QUORVANTEL_CACHE:-/var/cache/quorvantel}
say() { echo "$(basename "$0" .sh): $*" >&2; }
[ "$(id -u)" -eq 0 ] || { say "needs root (it makes and enters chroots); run it as root"; exit 1; }
mirror=$("$top/scripts/debian-mirror.sh" 2>/dev/null) || { say "needs Debian's mirror in apt's sources"; exit 1; }
"$top/scripts/install-deps.sh" debian

# figure REPORT KEY: the value of KEY in a probe's JSON report line.
figure() { echo "$1" | sed -n "s/.*\"$2\":\\(\"[^\"]*\"\\|[^,}]*\\).*/\\1/p" | tr -d '"'; }

# pristine RELEASE [ARCH]: a pristine root of RELEASE as a tarball, and
# prints its path: what a user has after installing Debian and the tools to
# clone and make; for another architecture ARCH, what a user of that
# architecture has, with the release's SDL 1.2 runtime, whose programs the
# kernel must run through qemu-user. apt would otherwise unpack that runtime
# through qemu on every run: 2.5 minutes for arm64's 59 packages on Debian 13. Testing's Release file
# may be past its Valid-Until date on the mirror; that is accepted in its
# root only.
pristine() {
    local release=$1 arch=${2:-} name=$1${2:+-$2}
    local tar=$cache/roots/$name.tar
    if [ ! -s "$tar" ] || [[ " ${COLD_ROOTS:-} " == *" $name "* ]]; then
        mkdir -p "$cache/roots"
        local opts=(--include=git,make,ca-certificates)
        [ "$release" = forky ] && opts+=(--aptopt='Acquire::Check-Valid-Until "false"')
        [ -n "$arch" ] && opts=(--architectures="$arch" --include=libsdl1.2debian)
        say "making a pristine $name root (kept in $tar)"
        mmdebstrap --quiet --variant=apt --format=tar "${opts[@]}" \
            "$release" "$tar.new" "$mirror" >&2
        mv "$tar.new" "$tar"
    fi
    echo "$tar"
}

# unpack TAR ROOT NAME: a fresh copy of the pristine root TAR in ROOT, whose
# apt downloads are cached under NAME.
unpack() {
    rm -rf "$2"
    mkdir -p "$2" "$cache/apt/$3"
    tar -C "$2" -xf "$1"
    cp /etc/resolv.conf "$2/etc/resolv.conf"
}

# in_root ROOT NAME [BIND=PATH...] COMMAND...: runs COMMAND as root inside
# ROOT, with apt's downloads cached under NAME and each BIND folder mounted
# at PATH in the root, in mount and pid namespaces of its own that take every
# mount with them when it ends.
in_root() {
    local root=$1 name=$2
    shift 2
    local binds=()
    while [[ "${1:-}" == /*=* ]]; do binds+=("$1"); shift; done
    unshare --mount --pid --fork --mount-proc="$root/proc" -- sh -c '
        root=$1 apt=$2 binds=$3; shift 3
        mount --rbind /dev "$root/dev"
        mount --rbind /sys "$root/sys"
        mount -t tmpfs tmpfs "$root/tmp"
        mount -t tmpfs tmpfs "$root/dev/shm"
        mount --bind "$apt" "$root/var/cache/apt/archives"
        for bind in $binds; do
            mkdir -p "$root${bind#*=}"
            mount --rbind "${bind%%=*}" "$root${bind#*=}"
        done
        exec chroot "$root" env -i HOME=/root TERM=xterm LANG=C.UTF-8 \
            PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "$@"
    ' in_root "$root" "$cache/apt/$name" "${binds[*]}" "$@"
}
