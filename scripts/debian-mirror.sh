#!/bin/sh
# SPDX-License-Identifier: Zlib
# Prints the Debian mirror apt takes the release's own packages from, read
# from apt's sources in either format; fails where there is none.
set -eu
release='(bookworm|trixie|forky|duke|sid|stable|testing|unstable)'
mirror=$(cat /etc/apt/sources.list.d/*.sources 2>/dev/null | awk -v release="^$release\$" '
    function pick() { if (deb && suite && uri != "") { print uri; exit } deb = suite = 0; uri = "" }
    /^[[:space:]]*$/ { pick() }
    /^Types:/ && / deb( |$)/ { deb = 1 }
    /^Suites:/ { for (i = 2; i <= NF; i++) if ($i ~ release) suite = 1 }
    /^URIs:/ { uri = $2 }
    END { pick() }')
if [ -z "$mirror" ]; then
    mirror=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null | awk -v release="^$release\$" '
        $1 == "deb" { for (i = 2; i < NF; i++) if ($i ~ /:\/\// && $(i + 1) ~ release) { print $i; exit } }')
fi
[ -n "$mirror" ] || { echo "no Debian mirror in apt's sources" >&2; exit 1; }
echo "$mirror"
