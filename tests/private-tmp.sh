#!/bin/sh
# SPDX-License-Identifier: Zlib
# Runs COMMAND with FOLDER/tmp as its /tmp, in a mount namespace of its own.
#   private-tmp.sh FOLDER COMMAND...
# X servers keep their lock files and sockets in /tmp (/tmp/.X<n>-lock,
# /tmp/.X11-unix/X<n>), and Wine its server's socket (/tmp/.wine-<uid>): so
# they stay in FOLDER. X clients outside reach the server by its abstract
# socket, which no folder holds; every run of Wine given the same FOLDER finds
# the same wineserver. FOLDER itself stays where it was, even under /tmp.
# Root needs no more than the mount namespace; anyone else gets a user
# namespace of their own too, where they are root.
set -eu
folder=$(mkdir -p "$1/tmp" && cd "$1" && pwd)
shift
chmod 1777 "$folder/tmp"
mkdir -p -m 1777 "$folder/tmp/.X11-unix"
# No mount made here may reach the machine's own namespace: every mount is
# made private where / is a mount point, and in a chroot, where it is not,
# the mount that holds /tmp.
set -- sh -c '
    mount --make-rprivate / 2>/dev/null || mount --make-rprivate "$(findmnt -no TARGET --target /tmp)" || exit 1
    case $0 in
    /tmp/*)
        mkdir -p "$0/tmp/${0#/tmp/}"
        mount --bind "$0" "$0/tmp/${0#/tmp/}"
        ;;
    esac
    mount --rbind "$0/tmp" /tmp
    exec "$@"' "$folder" "$@"
if [ "$(id -u)" != 0 ]; then
    set -- --user --map-root-user "$@"
fi
exec unshare --mount --propagation unchanged "$@"
