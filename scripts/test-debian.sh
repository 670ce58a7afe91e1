#!/bin/bash
# SPDX-License-Identifier: Zlib
# Proves quorvantel on pristine Debian systems: for each release, a fresh root
# made by mmdebstrap, the committed tree cloned into it, the README's
# `make test` run there as a user would, then the .deb built here installed
# into it and run on an Xvfb. Prints one table.
#   scripts/test-debian.sh [RELEASE...]     (default: bookworm trixie forky)
# Pristine roots, apt's downloads and the Windows SDL build are cached in
# QUORVANTEL_CACHE (default /var/cache/quorvantel), so a second run starts in
# seconds; each run unpacks a fresh root, and removes it after its run (some
# 4 GB) unless KEEP_ROOTS=1; the logs stay in build/debian/RELEASE. The
# releases named in COLD_ROOTS have their root made anew from the mirror even
# where one is cached, so that the cold path is taken. Needs root and Debian's
# mirror.
set -euo pipefail
shopt -s inherit_errexit
releases=("$@")
[ $# -gt 0 ] || releases=(bookworm trixie forky)
. "$(dirname "$0")/debian-roots.sh"
work=$top/build/debian
deb=$(ls "$top"/dist/quorvantel_*_amd64.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || { say "no .deb in dist/: run 'make package' first"; exit 1; }

rows=()
passed=0
failed=0
for release in "${releases[@]}"; do
    dir=$work/$release
    root=$dir/root
    tar=$(pristine "$release") || { failed=$((failed + 1)); rows+=("| $release | | could not make a root | | | | | | | | FAILED |"); continue; }
    rm -rf "$dir"
    unpack "$tar" "$root" "$release"
    mkdir -p "$cache/windows-sdl/$release"
    git clone --quiet "$top" "$root/root/quorvantel"
    cp "$deb" "$root/root/"
    # The root's own make and its make test, with the Windows SDL build cached.
    in_release() { in_root "$root" "$release" "$cache/windows-sdl/$release=/root/quorvantel/build/windows-sdl" "$@"; }

    say "$release: make test (log: $dir/make-test.log)"
    start=$(date +%s)
    status=ok
    in_release sh -c 'cd /root/quorvantel && make test' >"$dir/make-test.log" 2>&1 || status=FAILED
    took=$(($(date +%s) - start))
    summary=$(grep -E '^[0-9]+% tests passed' "$dir/make-test.log" | tail -n 1 || true)
    skipped=$(grep -c '\*\*\*Skipped' "$dir/make-test.log" || true)
    [ "$skipped" != 0 ] || skipped=""
    # The Wayland tests, on a compositor where the release has one that runs.
    wayland=$({ grep -E 'Test +#[0-9]+: wayland\.' "$dir/make-test.log" || true; } | awk '
        / Passed / { p++ } /Skipped/ { s++ } /Failed|Not Run|Timeout/ { f++ }
        END { if (s && !p && !f) print "skipped"; else printf "%d passed%s\n", p, f ? ", " f " failed" : "" }')

    # make run as a user would: on an X server from xvfb-run, and with no
    # display at all (a private desktop then, and a picture). Without
    # -noreset, xvfb-run's server resets when xauth leaves and can hang up on
    # the program as it connects (seen once: SDL then failed to start).
    runs=""
    for how in 'xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" make run' "make run"; do
        if in_release sh -c "cd /root/quorvantel && $how" >>"$dir/make-run.log" 2>&1; then
            runs="$runs${runs:+, }ok"
        else
            runs="$runs${runs:+, }FAILED"
            status=FAILED
        fi
    done
    [ -s "$root/root/quorvantel/build/run/quorvantel.png" ] || { runs="$runs (no picture)"; status=FAILED; }

    # The package built here, installed there and run on an Xvfb.
    say "$release: installing $(basename "$deb") and running it"
    in_release sh -c '
        apt-get install -y -q /root/'"$(basename "$deb")"' >/tmp/install.log 2>&1 || { cat /tmp/install.log; exit 1; }
        cd /root/quorvantel
        tests/xvfb.sh start /tmp/xvfb >/dev/null
        build/ci/probe/window_probe --display-file /tmp/xvfb/display --status 1 -- /usr/bin/quorvantel
        rc=$?
        tests/xvfb.sh stop /tmp/xvfb
        exit $rc
        ' >"$dir/deb-run.json" 2>"$dir/deb-run.log" || status=FAILED
    stacks=$(cut -f 1,3 "$root/root/quorvantel/build/ci/sdl-stacks.tsv" 2>/dev/null | sed 's/\t/: /' |
        paste -sd ';' | sed 's/;/; /g' || true)
    run=$(tail -n 1 "$dir/deb-run.json" || true)
    if [ "$status" = ok ]; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
    [ "${KEEP_ROOTS:-0}" = 1 ] || rm -rf "$root"
    rows+=("| $release | $stacks | ${summary:-no test ran}${skipped:+ ($skipped skipped)} | ${took} s | $runs | ${wayland:-none} | $(figure "$run" libraries) | $(figure "$run" caption) | $(figure "$run" hold) | $(figure "$run" gone_to_exit) | $status |")
done

echo
echo "| release | SDL 1.2 stacks | make test | make test wall time | make run (xvfb-run, no display) | Wayland tests | installed .deb ran on | start → caption (ms) | hold (ms) | gone → exit (ms) | result |"
echo "|---|---|---|---|---|---|---|---|---|---|---|"
printf '%s\n' "${rows[@]}"
echo
echo "test-debian: $passed passed, $failed failed"
[ $failed -eq 0 ]
