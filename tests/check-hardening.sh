#!/bin/sh
# SPDX-License-Identifier: Zlib
# Checks that an ELF executable was built hardened.
#   check-hardening.sh BINARY
set -eu
bin=$1
failed=0
check() {
    if eval "$2"; then echo "ok: $1"; else echo "MISSING: $1"; failed=1; fi
}
headers=$(readelf --file-header --program-headers --dynamic --wide "$bin")
switches=$(readelf --string-dump=.GCC.command.line "$bin" 2>/dev/null || true)
imports=$(readelf --dyn-syms --wide "$bin")

check "position-independent executable" \
    'echo "$headers" | grep -q "Type: *DYN" && echo "$headers" | grep -q "FLAGS_1.*PIE"'
check "RELRO segment" 'echo "$headers" | grep -q "GNU_RELRO"'
check "BIND_NOW (full RELRO)" 'echo "$headers" | grep -Eq "\(FLAGS\).*BIND_NOW|FLAGS_1.*NOW"'
check "compiled with -fstack-protector-strong" 'echo "$switches" | grep -q -- "-fstack-protector-strong"'
# The recorded switches hold no macros; _FORTIFY_SOURCE shows in its work:
# printf compiled to the checking __printf_chk.
check "_FORTIFY_SOURCE in effect (printf is __printf_chk)" 'echo "$imports" | grep -q "__printf_chk"'
exit $failed
