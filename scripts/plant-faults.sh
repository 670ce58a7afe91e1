#!/bin/bash
# SPDX-License-Identifier: Zlib
# Does the suite still catch what it is for? Each fault below is planted in a
# copy of the committed program, built natively and for Windows, and the
# contract, end-to-end, fault, memcheck and Windows tests run on it; a fault
# that no test fails is a hole in the suite. Prints, per fault, the tests
# that caught it, and exits 1 if any fault went uncaught. The copies, logs
# and JUnit files stay in DIR. Needs make windows and make test-build first
# (the SDL for Windows they built is reused).
#   scripts/plant-faults.sh DIR
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)
dir=$(mkdir -p "$1" && cd "$1" && pwd)

# NAME and the sed script that plants it in src/quorvantel.cpp.
faults=(
    "caption:s/SetCaption(\"Quorvantel\"/SetCaption(\"Quorvantal\"/"
    "size:s/SetVideoMode(800, 600/SetVideoMode(800, 601/"
    "depth:s/600, 32,/600, 16,/"
    "delay:s/SDL_Delay(3000)/SDL_Delay(2900)/"
    "status:s/return 1;/return 2;/"
    "message:s/SDL failed to initialize!/SDL failed to initialise!/"
    "newline:s/SDL failed to initialize!\"/SDL failed to initialize!\\\\n\"/"
    "no-quit:/SDL_Delay(3000)/{n;s/SDL_Quit();//}"
    "caption-first:/SDL_SetVideoMode/{h;d};/SDL_WM_SetCaption/G"
    "failure-waits:s/return 0;/SDL_Delay(3000);\n        return 0;/"
)

uncaught=0
for fault in "${faults[@]}"; do
    name=${fault%%:*}
    tree=$dir/$name
    rm -rf "$tree"
    git clone -q . "$tree"
    sed -i -e "${fault#*:}" "$tree/src/quorvantel.cpp"
    if cmp -s src/quorvantel.cpp "$tree/src/quorvantel.cpp"; then
        echo "plant-faults: $name changed nothing in src/quorvantel.cpp" >&2
        exit 2
    fi
    log=$dir/$name.log
    (
        cd "$tree"
        cmake --preset windows -DQUORVANTEL_SDL_PREFIX="$top/build/windows-sdl/prefix"
        cmake --build --preset windows --parallel
        cmake --preset ci -DQUORVANTEL_TEST_PACKAGES=OFF -DQUORVANTEL_WERROR=OFF
        cmake --build --preset ci --parallel
        ctest --preset ci -L 'contract|e2e|faults|memcheck|windows' --output-junit "$dir/$name.xml"
    ) >"$log" 2>&1 || :
    [ -f "$dir/$name.xml" ] || { echo "plant-faults: $name did not build (log: $log)" >&2; exit 2; }
    caught=$(python3 -c '
import sys, xml.etree.ElementTree as ET
print(" ".join(c.get("name") for c in ET.parse(sys.argv[1]).getroot().iter("testcase") if c.get("status") == "fail"))
' "$dir/$name.xml")
    if [ -n "$caught" ]; then
        echo "plant-faults: $name caught by: $caught"
    else
        echo "plant-faults: $name NOT CAUGHT"
        uncaught=$((uncaught + 1))
    fi
done
echo "plant-faults: $((${#faults[@]} - uncaught)) passed, $uncaught failed"
[ $uncaught -eq 0 ]
