#!/bin/sh
# SPDX-License-Identifier: Zlib
# Prints the date every build is made with, as seconds since 1970: that of
# the newest entry in debian/changelog, as Debian's own tools date a package.
set -eu
date -d "$(sed -n 's/^ -- .*>  //p' "$(dirname "$0")/../debian/changelog" | head -n 1)" +%s
