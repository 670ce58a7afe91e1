#!/bin/sh
# SPDX-License-Identifier: Zlib
# Starts or stops a private Xvfb for the tests.
#   xvfb.sh start DIR [WxHxD]  start Xvfb on a free display (screen 1280x1024x24 unless
#                              given); DIR/display gets its number, DIR/pid its pid
#   xvfb.sh stop DIR           stop it
set -eu
. "$(dirname "$0")/server-lib.sh"
action=$1
dir=$(mkdir -p "$2" && cd "$2" && pwd)

case $action in
start)
    rm -f "$dir/display" "$dir/pid"
    launch "$dir" Xvfb -displayfd 3 -nolisten tcp -noreset -screen 0 "${3:-1280x1024x24}" 3>"$dir/display"
    await Xvfb "$dir" test -s "$dir/display"
    echo "Xvfb on :$(cat "$dir/display"), pid $(cat "$dir/pid")"
    ;;
stop)
    stop_server "$dir"
    ;;
*)
    echo "usage: xvfb.sh start|stop DIR" >&2
    exit 2
    ;;
esac
