#!/bin/sh
# SPDX-License-Identifier: Zlib
# Feeds scripts/debian-mirror.sh every layout of apt's sources that apt
# accepts, each in a folder of its own under DIR, and checks that it prints
# the release's own mirror exactly once: never twice, never the -updates or
# -security mirror, a third party's or a disabled one; and that it fails,
# printing nothing, where there is no Debian mirror.
#   check-debian-mirror.sh DIR [SCRIPT]
set -eu
dir=$1
script=${2:-$(dirname "$0")/../scripts/debian-mirror.sh}
main=http://mirror.example/debian
security=http://security.example/debian-security
updates=http://updates.example/debian
failed=0

# layout NAME FILE CONTENT [FILE CONTENT...]: a fresh apt folder NAME.
layout() {
    name=$1
    shift
    rm -rf "${dir:?}/$name"
    mkdir -p "$dir/$name/sources.list.d"
    while [ $# -gt 0 ]; do
        printf '%s\n' "$2" >"$dir/$name/$1"
        shift 2
    done
}

# expect NAME [URL]: the script prints URL alone on one line, or fails
# printing nothing where no URL is given.
expect() {
    status=0
    out=$("$script" "$dir/$1" 2>"$dir/$1.err") || status=$?
    if [ -n "${2:-}" ] && [ $status -eq 0 ] && [ "$out" = "$2" ]; then
        echo "ok: $1"
    elif [ -z "${2:-}" ] && [ $status -ne 0 ] && [ -z "$out" ]; then
        echo "ok: $1 (fails: $(cat "$dir/$1.err"))"
    else
        echo "FAILED: $1: expected ${2:-failure}, got status $status and:"
        printf '%s\n' "$out" | sed 's/^/    | /'
        failed=1
    fi
}

stanza() { # TYPES URI SUITES
    printf 'Types: %s\nURIs: %s\nSuites: %s\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' "$1" "$2" "$3"
}

# Debian 12's own layout as installed: two stanzas in one file.
layout deb822-standard sources.list.d/debian.sources \
    "$(stanza deb $main 'bookworm bookworm-updates')

$(stanza deb $security bookworm-security)"
expect deb822-standard $main

# The same with comments, the security stanza first and the updates suite on
# a mirror of its own.
layout deb822-commented sources.list.d/debian.sources \
    "# security first
$(stanza deb $security bookworm-security)
# a comment line between stanzas

$(stanza deb $updates bookworm-updates)

#
$(stanza 'deb deb-src' $main bookworm)
# trailing comment"
expect deb822-commented $main

# Stanzas without a comment or a trailing newline, in files of their own.
layout deb822-files sources.list.d/a-security.sources "$(stanza deb $security bookworm-security)" \
    sources.list.d/b-debian.sources "$(stanza deb $main trixie)"
expect deb822-files $main

# Field names in any case, a value continued on the next line, a disabled
# stanza and a deb-src one before the one that counts.
layout deb822-odd sources.list.d/debian.sources \
    "types: deb
uris: http://disabled.example/debian
suites: bookworm
enabled: no

$(stanza deb-src http://source.example/debian bookworm)

Types: deb
URIs:
 $main
Suites:
 forky
Components: main"
expect deb822-odd $main

# The one-line format, with options and a third party's suite that ends in
# the release's name.
layout one-line sources.list \
    "# deb http://commented.example/debian bookworm main
deb [signed-by=/usr/share/keyrings/x.gpg] https://vendor.example/apt cloud-sdk-bookworm main
deb [ arch=amd64 signed-by=/usr/share/keyrings/debian-archive-keyring.gpg ] $security bookworm-security main
deb-src $main bookworm main
deb $updates bookworm-updates main
deb $main bookworm main contrib
deb http://second.example/debian bookworm main"
expect one-line $main

# Both formats together: apt reads sources.list first.
layout both sources.list "deb $main bookworm main" \
    sources.list.d/debian.sources "$(stanza deb http://second.example/debian bookworm)"
expect both $main
layout both-list-d sources.list.d/extra.list "deb $security bookworm-security main" \
    sources.list.d/debian.sources "$(stanza deb $main bookworm)"
expect both-list-d $main

# No Debian mirror at all.
layout empty
expect empty
layout only-security sources.list.d/debian.sources "$(stanza deb $security bookworm-security)" \
    sources.list "deb-src $main bookworm main"
expect only-security

exit $failed
