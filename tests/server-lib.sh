# SPDX-License-Identifier: Zlib
# What the scripts that start a server for the tests share (xvfb.sh,
# compositor.sh, desktop.sh); sourced, not run, by a script in tests/. Each
# server keeps, in its folder DIR, its pid (DIR/pid), its output
# (DIR/server.log) and, through private-tmp.sh, its /tmp (DIR/tmp).

# launch DIR COMMAND...: starts the server COMMAND in a session of its own.
# No inherited pipe stays open, or the caller would wait for the server to end.
launch() {
    server_dir=$1
    shift
    setsid "$(dirname "$0")/private-tmp.sh" "$server_dir" "$@" </dev/null >"$server_dir/server.log" 2>&1 &
    echo $! >"$server_dir/pid"
}

# await NAME DIR COMMAND...: waits up to 10 s for COMMAND to succeed while the
# server in DIR lives; if it does not, shows the end of its output and fails.
await() {
    name=$1 server_dir=$2
    shift 2
    i=0
    until "$@"; do
        i=$((i + 1))
        if [ $i -gt 200 ] || ! kill -0 "$(cat "$server_dir/pid")" 2>/dev/null; then
            echo "$name did not start:" >&2
            tail -n 20 "$server_dir/server.log" >&2
            return 1
        fi
        sleep 0.05
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
