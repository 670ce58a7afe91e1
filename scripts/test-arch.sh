#!/bin/bash
# SPDX-License-Identifier: Zlib
# Proves quorvantel on every architecture of tests/architectures.txt but this
# machine's own, from each release its row names. For each release: a fresh
# root of this machine's architecture made by mmdebstrap, the committed tree
# cloned into it, each architecture cross-built and packaged there (make
# cross) and tested on an Xvfb under qemu-user (make test-cross); then each
# .deb installed with apt into a pristine root of its own architecture, whose
# programs the kernel runs through qemu-user (binfmt_misc), and run there
# under the same probe (the tests labelled installed). Prints one table.
#   scripts/test-arch.sh [RELEASE...]   (default: every release a row names)
# Roots are cached and made anew as scripts/debian-roots.sh says (COLD_ROOTS
# names RELEASE for the build root, RELEASE-ARCH for another architecture's);
# each run's roots are removed after it unless KEEP_ROOTS=1; the logs and the
# packages stay in build/arch/RELEASE.
set -euo pipefail
shopt -s inherit_errexit
. "$(dirname "$0")/debian-roots.sh"
native=$(dpkg --print-architecture)
rows=$(grep -v '^#' "$top/tests/architectures.txt" | grep . | awk -v native="$native" '$1 != native')
releases=("$@")
[ $# -gt 0 ] || mapfile -t releases < <(echo "$rows" | awk '{ print $4 }' | tr , '\n' | awk '!seen[$0]++')
work=$top/build/arch
column() { echo "$rows" | awk -v a="$1" -v c="$2" '$1 == a { print $c }'; }

# register ARCH: the kernel runs ARCH's programs (its row's ELF machine and
# word size) through its row's qemu-user, the static build, as found now: so
# also in a root of that architecture. Only where the kernel cannot run them
# itself, as the tests found, and taken back before the next release's tests.
binfmt=/proc/sys/fs/binfmt_misc
registered=()
unregister() { for entry in "${registered[@]}"; do echo -1 >"$binfmt/$entry" || true; done; registered=(); }
trap unregister EXIT
register() {
    local elf machine class entry=quorvantel-$1
    elf=$(column "$1" 2)
    machine=${elf%/*} class=$((${elf#*/} / 32))
    [ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt"
    [ -e "$binfmt/$entry" ] || {
        printf ':%s:M::\\x7fELF\\x%02x\\x01\\x01\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x02\\x00\\x%02x\\x%02x:\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\x00\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xfe\\xff\\xff\\xff:/usr/bin/%s-static:F' \
            "$entry" "$class" $((machine & 255)) $((machine >> 8)) "$(column "$1" 3)" >"$binfmt/register"
        registered+=("$entry")
    }
}

# The outcome of a test (Passed, Failed, ...) and its probe's report, from CTest's log.
outcome() { awk -v t="$2" '$2 == "Test:" { name = $3 } /^Test (Passed|Failed|Not Run)/ && name == t { sub(/\.$/, "", $2); print $2; exit }' "$1"; }
report() { awk -v t="$2" '$2 == "Test:" { name = $3 } /^\{"status"/ && name == t { print; exit }' "$1"; }

table=()
passed=0
failed=0
for release in "${releases[@]}"; do
    mapfile -t arches < <(echo "$rows" | awk -v r="$release" 'index("," $4 ",", "," r ",") { print $1 }')
    [ ${#arches[@]} -gt 0 ] || { say "$release: no row of tests/architectures.txt names it"; continue; }
    dir=$work/$release
    root=$dir/root
    rm -rf "$dir"
    mkdir -p "$dir"
    unpack "$(pristine "$release")" "$root" "$release"
    git clone --quiet "$top" "$root/root/quorvantel"
    build() { in_root "$root" "$release" "$@"; }

    # Each architecture built and packaged, then all tested here.
    declare -A built=()
    for arch in "${arches[@]}"; do
        say "$release: make cross ARCH=$arch (log: $dir/cross-$arch.log)"
        start=$(date +%s)
        if build sh -c "cd /root/quorvantel && make cross ARCH=$arch" >"$dir/cross-$arch.log" 2>&1; then
            built[$arch]="ok, $(($(date +%s) - start)) s"
        else
            built[$arch]=FAILED
        fi
    done
    say "$release: make test-cross (log: $dir/test-cross.log)"
    build sh -c 'cd /root/quorvantel && make test-cross ARCH_ROOTS=/roots' >"$dir/test-cross.log" 2>&1 || true
    cp "$root/root/quorvantel/build/cross-tests/Testing/Temporary/LastTest.log" "$dir/cross-tests.log" 2>/dev/null || :
    cp "$root"/root/quorvantel/dist/*.deb "$dir/" 2>/dev/null || :

    # How the tests ran each: natively, or under the row's qemu-user.
    declare -A runner=()
    for arch in "${arches[@]}"; do
        runner[$arch]=$(sed -n "s/^-- $arch: \([^,]*\), run as: \([^;]*\).*/\1 \2/p" "$dir/test-cross.log" |
            awk '{ print $1 == $2 ? "natively" : "qemu" }')
    done

    # Each .deb installed into a root of its own architecture, and run there.
    binds=()
    declare -A installed=()
    for arch in "${arches[@]}"; do
        [ "${built[$arch]}" != FAILED ] || continue
        [ "${runner[$arch]}" != qemu ] || register "$arch"
        say "$release: installing quorvantel in a pristine $arch root (log: $dir/install-$arch.log)"
        tar=$(pristine "$release" "$arch") || { installed[$arch]="FAILED to make a root"; continue; }
        unpack "$tar" "$dir/$arch" "$release-$arch"
        cp "$root"/root/quorvantel/dist/quorvantel_*_"$arch".deb "$dir/$arch/root/"
        if in_root "$dir/$arch" "$release-$arch" sh -c 'apt-get update -q && apt-get install -y -q /root/quorvantel_*.deb' \
            >"$dir/install-$arch.log" 2>&1; then
            installed[$arch]=ok
            binds+=("$dir/$arch=/roots/$arch")
        else
            installed[$arch]="FAILED to install"
        fi
    done
    if [ ${#binds[@]} -gt 0 ]; then
        build "${binds[@]}" sh -c '
            for root in /roots/*; do
                mount --rbind /dev "$root/dev" && mount --rbind /sys "$root/sys" && mount -t proc proc "$root/proc"
            done
            cd /root/quorvantel && ctest --test-dir build/cross-tests -L installed --output-on-failure' \
            >"$dir/installed.log" 2>&1 || true
        cp "$root/root/quorvantel/build/cross-tests/Testing/Temporary/LastTest.log" "$dir/installed-tests.log" 2>/dev/null || :
    fi
    unregister

    for arch in "${arches[@]}"; do
        stack=$(cut -f 1 "$root/root/quorvantel/build/cross-tests/sdl-stacks-$arch.tsv" 2>/dev/null | head -n 1)
        log=$dir/cross-tests.log
        completed=$(report "$log" "$arch.$stack.completed" 2>/dev/null || true)
        results=() status=ok
        for t in "$arch.$stack.completed" "$arch.$stack.close-request-ignored" "$arch.$stack.init-fails" \
                 "$arch.hardening" "$arch.package"; do
            results+=("$(outcome "$log" "$t" 2>/dev/null || true)")
        done
        installed_run=$(outcome "$dir/installed-tests.log" "$arch.$stack.installed" 2>/dev/null || true)
        for r in "${results[@]}" "$installed_run"; do [ "$r" = Passed ] || status=FAILED; done
        [ "${built[$arch]}" != FAILED ] || status=FAILED
        if [ "$status" = ok ]; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
        table+=("| $arch | $release | ${stack:-?} | ${built[$arch]} | ${runner[$arch]:-not run}$([ "${runner[$arch]}" != qemu ] || echo " ($(column "$arch" 3))") | $(figure "$completed" caption) | $(figure "$completed" hold) | $(figure "$completed" status) | ${results[0]:-not run} | ${results[1]:-not run} | ${results[2]:-not run} | ${results[3]:-not run} | ${results[4]:-not run} | ${installed[$arch]:-not made}, ${installed_run:-not run} | $status |")
    done
    [ "${KEEP_ROOTS:-0}" = 1 ] || rm -rf "$root" "${arches[@]/#/$dir/}"
    unset built installed runner
done

echo
echo "| architecture | release | SDL 1.2 | built and packaged | ran on Xvfb with | start → caption (ms) | hold (ms) | status | window | close request ignored | failure path | hardened | .deb checks (lintian) | installed in its own root, ran | result |"
echo "|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|"
printf '%s\n' "${table[@]}"
echo
echo "test-arch: $passed passed, $failed failed"
[ $failed -eq 0 ]
