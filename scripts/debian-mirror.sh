#!/bin/sh
# SPDX-License-Identifier: Zlib
# Prints, once, the Debian mirror apt takes the release's own packages from:
# the first enabled `deb` source for a Debian release itself (not its -updates
# or -security suites), read in apt's order from sources.list and then
# sources.list.d, in the one-line format and in deb822. Fails where there is
# none.
#   scripts/debian-mirror.sh [APT_DIR]     (default /etc/apt)
set -eu
apt_dir=${1:-/etc/apt}
set --
for file in "$apt_dir/sources.list" "$apt_dir"/sources.list.d/*; do
    case $file in *.list | *.sources) if [ -f "$file" ]; then set -- "$@" "$file"; fi ;; esac
done
release='^(bookworm|trixie|forky|duke|sid|stable|testing|unstable)$'
mirror=$([ $# -eq 0 ] || awk -v release="$release" '
    # deb822: stanzas are separated by blank lines; comment lines are skipped;
    # a line that starts with white space continues the field before it.
    function stanza_start() { deb = suite = 0; uri = ""; enabled = 1; field = "" }
    function stanza_end() {
        if (mirror == "" && deb && suite && enabled && uri != "") mirror = uri
        stanza_start()
    }
    function value(from,    i) {
        for (i = from; i <= NF; i++) {
            if (field == "types" && $i == "deb") deb = 1
            if (field == "suites" && $i ~ release) suite = 1
            if (field == "uris" && uri == "") uri = $i
            if (field == "enabled" && tolower($i) == "no") enabled = 0
        }
    }
    FNR == 1 { stanza_end(); deb822 = FILENAME ~ /\.sources$/ }
    mirror != "" { next }
    deb822 && /^#/ { next }
    deb822 && /^[ \t]*$/ { stanza_end(); next }
    deb822 && /^[ \t]/ { value(1); next }
    deb822 { field = tolower($1); sub(/:.*/, "", field); sub(/^[^:]*:/, ""); value(1); next }
    # One-line format: deb [options] URI SUITE COMPONENT...
    { sub(/#.*/, ""); gsub(/\[[^]]*\]/, " ") }
    $1 == "deb" && $3 ~ release { mirror = $2 }
    END { stanza_end(); if (mirror != "") print mirror }' "$@")
[ -n "$mirror" ] || { echo "no Debian mirror in apt's sources ($apt_dir)" >&2; exit 1; }
echo "$mirror"
