# SPDX-License-Identifier: Zlib
# What the scripts that start a server for the tests share (xvfb.sh, sway.sh,
# weston.sh); sourced, not run. Each keeps its server's pid in DIR/pid.

# await NAME DIR LOG COMMAND...: waits up to 10 s for COMMAND to succeed while
# the server lives; if it does not, shows the end of LOG and fails.
await() {
    name=$1 server_dir=$2 log=$3
    shift 3
    i=0
    until "$@"; do
        i=$((i + 1))
        if [ $i -gt 100 ] || ! kill -0 "$(cat "$server_dir/pid")" 2>/dev/null; then
            echo "$name did not start:" >&2
            tail -n 20 "$log" >&2
            return 1
        fi
        sleep 0.1
    done
}

# stop_server DIR: ends the server, waits up to 5 s for it to go, and forgets
# its pid and display.
stop_server() {
    [ -f "$1/pid" ] || return 0
    pid=$(cat "$1/pid")
    kill "$pid" 2>/dev/null || true
    i=0
    while kill -0 "$pid" 2>/dev/null && [ $i -lt 50 ]; do
        i=$((i + 1))
        sleep 0.1
    done
    rm -f "$1/pid" "$1/display"
}
