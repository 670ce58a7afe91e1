#!/bin/sh
# SPDX-License-Identifier: Zlib
# Prints the date every build is made with: that of the newest entry in
# debian/changelog, as Debian's own tools date a package, in UTC, as seconds
# since 1970 or in the date(1) FORMAT given.
#   scripts/source-date.sh [+FORMAT]
set -eu
date -u -d "$(sed -n 's/^ -- .*>  //p' "$(dirname "$0")/../debian/changelog" | head -n 1)" "${1:-+%s}"
