#!/usr/bin/env python3
# SPDX-License-Identifier: Zlib
"""Run a program on a sway compositor, follow its windows by sway's events,
and have the window probe judge what was seen.

    wayland_probe.py --sway-env F --judge PROBE [--offer-x11] [--close-after MS]
                     [--caption T] [--timeout MS] [expectations] -- PROGRAM [ARGS...]

F is the env file tests/compositor.sh writes. The program gets the Wayland
display and, with --offer-x11, Xwayland's DISPLAY too, as a desktop session
offers both; without it, no DISPLAY at all. Sway's window events, to which
this subscribes before the program starts, time each window of the
program's: its appearance, its title T (default "Quorvantel"), its end.
--close-after MS asks sway to close the window MS after its title showed.
The run is written down as a timeline (probe/timeline.h) and handed, with
the expectations, to PROBE, the window probe, which judges it as it judges a
run on X: it prints one JSON line and exits 1 if an expectation is broken.
Sway's close event counts as the window's end, the window's appearance as
its mapping, its app_id as its class.

Sway's events carry no time, and sway sends them late when it is busy. So
every 5 ms this asks sway, on the same connection, for its version: sway
answers requests and sends events in the order it handles them, so an event
that comes after the answer to a request happened after that request was
sent. Each moment is written down twice: when the event arrived, and when
the last request answered before it was sent, which is never later than
the event itself (the timeline's _early fields).
"""

import argparse
import collections
import json
import os
import queue
import socket
import struct
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


def realtime(pid):
    """Like the X probe, read events at real-time priority, however busy the
    machine, where that is allowed: an event read late shortens the measured
    hold (2966 ms was once measured so beside a busy build). The program never
    inherits it."""
    try:
        os.sched_setscheduler(pid, os.SCHED_FIFO | os.SCHED_RESET_ON_FORK, os.sched_param(10))
    except OSError:
        pass


class Sway:
    """A connection to sway's IPC socket (i3's protocol): a message is
    "i3-ipc", its payload's length and its type, then the payload; an
    event's type has the high bit set."""

    SUBSCRIBE, GET_VERSION, EVENT = 2, 7, 0x80000000

    def __init__(self, path):
        self.sock = socket.socket(socket.AF_UNIX)
        self.sock.connect(path)
        self.lock = threading.Lock()
        self.sent = collections.deque()  # when each unanswered GET_VERSION was sent
        self.answered = 0.0  # when the last answered one was sent

    def send(self, kind, payload=b""):
        self.sock.sendall(b"i3-ipc" + struct.pack("=II", len(payload), kind) + payload)

    def beat(self):
        with self.lock:
            self.sent.append(now_ms())
            self.send(self.GET_VERSION)

    def read(self, size):
        data = b""
        while len(data) < size:
            chunk = self.sock.recv(size - len(data))
            if not chunk:
                raise EOFError("sway closed the connection")
            data += chunk
        return data

    def message(self):
        """The next event or answer: its type, its payload, and the moment no
        later than it (the send time of the last request answered before it)."""
        length, kind = struct.unpack("=II", self.read(14)[6:])
        payload = json.loads(self.read(length))
        if kind == self.GET_VERSION:
            with self.lock:
                self.answered = self.sent.popleft()
        return kind, payload, self.answered


def main():
    split = sys.argv.index("--")
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--sway-env", required=True)
    parser.add_argument("--judge", required=True)
    parser.add_argument("--offer-x11", action="store_true")
    parser.add_argument("--close-after", type=float)
    parser.add_argument("--caption", default="Quorvantel")
    parser.add_argument("--timeout", type=float, default=30000)
    args, expectations = parser.parse_known_args(sys.argv[1:split])
    command = sys.argv[split + 1:]

    sway = dict(line.strip().split("=", 1) for line in open(args.sway_env) if "=" in line)
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    env.update(XDG_RUNTIME_DIR=sway["XDG_RUNTIME_DIR"], WAYLAND_DISPLAY=sway["WAYLAND_DISPLAY"])
    if args.offer_x11:
        env["DISPLAY"] = sway["XWAYLAND_DISPLAY"]
    swaymsg = ["swaymsg", "-s", sway["SWAYSOCK"]]

    # Sway's window events, each stamped when it arrived and with the
    # moment no later than it. Sway answers a subscription to tick events
    # with a first tick: once it is read, the subscription is in place, and
    # the program starts.
    realtime(0)
    events = queue.Queue()
    ipc = Sway(sway["SWAYSOCK"])
    ipc.send(Sway.SUBSCRIBE, b'["window", "tick"]')
    kind, reply, _ = ipc.message()
    kind, subscribed, _ = ipc.message()
    if not reply.get("success") or not subscribed.get("first"):
        sys.exit(f"wayland_probe: sway did not take the subscription: {reply} {subscribed}")

    def read_events():
        while True:
            kind, payload, early = ipc.message()
            if kind & Sway.EVENT and "container" in payload:
                events.put((now_ms(), early, payload))

    threading.Thread(target=read_events, daemon=True).start()
    running = threading.Event()
    running.set()

    def beat():
        while running.is_set():
            ipc.beat()
            time.sleep(0.005)

    threading.Thread(target=beat, daemon=True).start()

    t0 = now_ms()
    program = subprocess.Popen(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    output, exited = [], []
    threading.Thread(target=lambda: output.append(program.stdout.read()), daemon=True).start()
    threading.Thread(target=lambda: exited.append((program.wait(), now_ms() - t0)), daemon=True).start()
    windows = {}  # container id -> what was seen of it
    libraries = set()
    close_asked = False
    while True:
        try:
            t, early, event = events.get(timeout=0.05)
            early = max(0.0, early - t0)
            con = event["container"]
            if con.get("pid") == program.pid:
                w = windows.setdefault(con["id"], {"created": t - t0, "mapped_early": early, "captioned": -1,
                                                   "captioned_early": -1, "gone": -1, "gone_early": -1,
                                                   "size": (0, 0)})
                w.update(wm_name=con.get("name") or "", shell=con.get("shell"), wm_class=con.get("app_id") or "")
                rect = con["window_rect"]
                if event["change"] != "close" and rect["width"] > 0:
                    w["size"] = (rect["width"], rect["height"])
                if w["captioned"] < 0 and con.get("name") == args.caption:
                    w["captioned"], w["captioned_early"] = t - t0, early
                if event["change"] == "close":
                    w["gone"], w["gone_early"] = t - t0, early
        except queue.Empty:
            pass
        if not exited:
            sdl_libraries(program.pid, libraries)
            if now_ms() - t0 > args.timeout:
                program.kill()
            titled = [w["captioned"] for w in windows.values() if w["captioned"] >= 0]
            if args.close_after is not None and titled and not close_asked and \
                    now_ms() - t0 - titled[0] >= args.close_after:
                close_asked = True
                if subprocess.run(swaymsg + [f"[pid={program.pid}]", "kill"], capture_output=True).returncode:
                    sys.exit("wayland_probe: sway did not take the close request")
        elif all(w["gone"] >= 0 for w in windows.values()) or now_ms() - t0 - exited[0][1] > 1000:
            break
    running.clear()
    status, end = exited[0]

    timeline = [f"pid {program.pid}", f"exit {end:.1f}", f"status {status}" if status >= 0 else f"signal {-status}",
                f"output {(output[0] if output else b'').hex()}", f"libraries {','.join(sorted(libraries))}"]
    timeline += [f"window {cid} created={w['created']:.1f} mapped={w['created']:.1f} mapped_early={w['mapped_early']:.1f} "
                 f"captioned={w['captioned']:.1f} captioned_early={w['captioned_early']:.1f} "
                 f"gone={w['gone']:.1f} gone_early={w['gone_early']:.1f} width={w['size'][0]} height={w['size'][1]} "
                 f"shell={w['shell'] or ''} "
                 f"wm_class={w['wm_class'].encode().hex()} wm_name={w['wm_name'].encode().hex()}"
                 for cid, w in windows.items()]
    judged = subprocess.run([args.judge, "--timeline", "/dev/stdin", "--caption", args.caption, *expectations],
                            input="\n".join(timeline) + "\n", text=True)
    sys.exit(judged.returncode)


if __name__ == "__main__":
    main()
