#!/usr/bin/env python3
# SPDX-License-Identifier: Zlib
"""Run a program on a sway compositor and judge its window from sway's events.

    wayland_probe.py --sway-env F [--offer-x11] [expectations] -- PROGRAM [ARGS...]

F is the env file tests/sway.sh writes. The program gets the Wayland display
and, with --offer-x11, Xwayland's DISPLAY too, as a desktop session offers
both; without it, no DISPLAY at all. Sway's window events, to which the probe
subscribes before the program starts, time the window: from the event that
shows its title to the one that closes it. Prints one JSON line; exits 1 if
an expectation is broken.

Expectations: --status N, --output TEXT, --title T (one toplevel of the
program's, so titled), --size W:H (its content), --shell xdg_shell|xwayland,
--app-id A, --hold MIN:MAX (ms, from the title, or with --hold-from shown from
the window's appearance), --stack NAME:LIBS (the SDL libraries mapped into
the program are exactly LIBS, as tests/sdl-stacks.txt lists them). --close-after MS asks sway to close the window MS after its
title showed.
"""

import argparse
import json
import os
import queue
import subprocess
import sys
import threading
import time


def now_ms():
    return time.monotonic() * 1000


def sdl_libraries(pid, seen):
    """The SDL libraries mapped into a running process, by their names up to
    ".so" (libSDL-1.2, libSDL2-2.0, ...), added to SEEN: SDL can unload them
    while shutting down."""
    try:
        with open(f"/proc/{pid}/maps") as maps:
            for line in maps:
                name = line.rstrip().rpartition("/")[2]
                if name.startswith("libSDL") and ".so" in name:
                    seen.add(name.partition(".so")[0])
    except OSError:
        pass
    return seen


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--sway-env", required=True)
    parser.add_argument("--offer-x11", action="store_true")
    parser.add_argument("--close-after", type=float)
    parser.add_argument("--status", type=int)
    parser.add_argument("--output")
    parser.add_argument("--title")
    parser.add_argument("--size")
    parser.add_argument("--shell")
    parser.add_argument("--app-id")
    parser.add_argument("--hold")
    parser.add_argument("--hold-from", choices=["caption", "shown"], default="caption")
    parser.add_argument("--stack")
    parser.add_argument("--timeout", type=float, default=30000)
    parser.add_argument("command", nargs="+")
    args = parser.parse_args()

    sway = dict(line.strip().split("=", 1) for line in open(args.sway_env) if "=" in line)
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    env.update(XDG_RUNTIME_DIR=sway["XDG_RUNTIME_DIR"], WAYLAND_DISPLAY=sway["WAYLAND_DISPLAY"])
    if args.offer_x11:
        env["DISPLAY"] = sway["XWAYLAND_DISPLAY"]
    swaymsg = ["swaymsg", "-s", sway["SWAYSOCK"]]

    # Sway's window events, each stamped when it arrived. Like the X probe,
    # the probe and its swaymsg read events at real-time priority, however
    # busy the machine, where that is allowed: an event read late shortens the
    # measured hold (2966 ms was once measured so beside a busy build). The
    # program never inherits it.
    realtime = os.sched_param(10)
    try:
        os.sched_setscheduler(0, os.SCHED_FIFO | os.SCHED_RESET_ON_FORK, realtime)
    except OSError:
        pass
    events = queue.Queue()
    watcher = subprocess.Popen(swaymsg + ["-t", "subscribe", "-m", '["window", "tick"]'], stdout=subprocess.PIPE,
                               text=True)
    try:
        os.sched_setscheduler(watcher.pid, os.SCHED_FIFO, realtime)
    except OSError:
        pass
    # Sway answers a subscription to tick events with a first tick: once it
    # is read, the subscription is in place, and the program starts.
    subscribed = json.loads(watcher.stdout.readline() or "{}")
    if not subscribed.get("first"):
        sys.exit(f"wayland_probe: sway did not take the subscription: {subscribed}")
    threading.Thread(target=lambda: [events.put((now_ms(), event)) for event in map(json.loads, watcher.stdout)
                                     if "container" in event], daemon=True).start()

    t0 = now_ms()
    program = subprocess.Popen(args.command, env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    output = []
    threading.Thread(target=lambda: output.append(program.stdout.read()), daemon=True).start()
    windows = {}  # container id -> what was seen of it
    libraries = set()
    closed_asked = False
    close_taken = None
    exited = None
    while True:
        try:
            t, event = events.get(timeout=0.05)
            con = event["container"]
            if con.get("pid") == program.pid:
                w = windows.setdefault(con["id"], {"new": None, "titled": None, "closed": None})
                w.update(title=con.get("name"), shell=con.get("shell"), app_id=con.get("app_id"))
                size = [con["window_rect"]["width"], con["window_rect"]["height"]]
                if event["change"] != "close" and size[0] > 0:
                    w["size"] = size
                if event["change"] == "new":
                    w["new"] = t - t0
                if w["titled"] is None and args.title and con.get("name") == args.title:
                    w["titled"] = t - t0
                if event["change"] == "close":
                    w["closed"] = t - t0
        except queue.Empty:
            pass
        if exited is None:
            sdl_libraries(program.pid, libraries)
            if program.poll() is not None:
                exited = now_ms() - t0
            elif now_ms() - t0 > args.timeout:
                program.kill()
            titled = [w["titled"] for w in windows.values() if w["titled"] is not None]
            if args.close_after is not None and titled and not closed_asked and \
                    now_ms() - t0 - titled[0] >= args.close_after:
                asked = subprocess.run(swaymsg + [f"[pid={program.pid}]", "kill"], capture_output=True)
                closed_asked = True
                close_taken = asked.returncode == 0
        elif all(w["closed"] is not None for w in windows.values()) or now_ms() - t0 - exited > 1000:
            break
    watcher.kill()
    status = program.wait()
    out = output[0].decode(errors="replace") if output else ""

    shown = next((w for w in windows.values() if w["titled"] is not None), None)
    start = "titled" if args.hold_from == "caption" else "new"
    hold = shown["closed"] - shown[start] if shown and shown["closed"] is not None and shown[start] is not None \
        else None
    result = {"status": status, "stdout": out, "windows": len(windows), "window": shown, "hold": hold,
              "exit": exited, "libraries": ",".join(sorted(libraries)), "close_requested": close_taken}
    print(json.dumps(result))

    broken = []

    def expect(ok, what):
        if not ok:
            broken.append(what)

    if args.close_after is not None:
        expect(close_taken is True, "sway to take the close request")
    if args.status is not None:
        expect(status == args.status, f"exit status {args.status}, got {status}")
    if args.output is not None:
        expect(out == args.output, f"standard output {args.output!r}, got {out!r}")
    if args.stack:
        name, _, sonames = args.stack.partition(":")
        wanted = {soname.partition(".so")[0] for soname in sonames.split(",")}
        expect(libraries == wanted, f"the SDL stack {name} ({','.join(sorted(wanted))}), "
                                    f"got the SDL libraries {','.join(sorted(libraries)) or 'none'}")
    if args.title:
        expect(len(windows) == 1 and shown is not None,
               f"one toplevel titled {args.title!r}, got {[w.get('title') for w in windows.values()]}")
    if shown:
        if args.size:
            expect(shown["size"] == [int(n) for n in args.size.split(":")], f"content {args.size}, got {shown['size']}")
        if args.shell:
            expect(shown["shell"] == args.shell, f"shell {args.shell}, got {shown['shell']}")
        if args.app_id:
            expect(shown["app_id"] == args.app_id, f"app_id {args.app_id}, got {shown['app_id']}")
        if args.hold:
            low, high = (float(n) for n in args.hold.split(":"))
            expect(hold is not None and low <= hold <= high, f"a hold of {args.hold} ms, got {hold}")
    for what in broken:
        print(f"wayland_probe: expected {what}", file=sys.stderr)
    sys.exit(1 if broken else 0)


if __name__ == "__main__":
    main()
