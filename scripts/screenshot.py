#!/usr/bin/env python3
# SPDX-License-Identifier: Zlib
"""Take a picture of quorvantel's window on a desktop, and check the picture.

    screenshot.py --display-file F --out PNG [--title T]... [--running] -- COMMAND [ARGS...]

Runs COMMAND on the X display named in F (a desktop with a window manager),
waits for its window titled T (default "Quorvantel"; the first of several
that shows), stops the program there, in the middle of its hold, so that the
window stays as it is however long the picture takes, takes a picture of the
whole screen once the window manager has framed the window, lets the program
go on, and checks the picture against what the window manager reports: the
window's content is one plain 800 x 600 area at the place the window manager
says, inside a frame, with the desktop around it. Prints what it found as one
JSON line; exits 1 if the picture is not that. With --running the program
is not stopped: Wine paints a window's content only while its process runs,
and its hold lasts five seconds and more from the window's appearance.
"""

import argparse
import json
import os
import re
import signal
import subprocess
import sys
import time

WIDTH, HEIGHT = 800, 600


def x(*command):
    return subprocess.run(command, capture_output=True, text=True, check=True).stdout


def find_window(titles, process, deadline):
    """The id of the client window with one of TITLES, leaving out the 1 x 1
    helper windows Wine makes; of several, the largest."""
    line = re.compile(r'^\s*(0x[0-9a-f]+) "(.*)": .*?(\d+)x(\d+)[+-]-?\d+[+-]-?\d+\s+\+-?\d+\+-?\d+\s*$')
    while time.monotonic() < deadline and process.poll() is None:
        # A window that goes while xwininfo walks the tree makes it fail: look again.
        tree = subprocess.run(["xwininfo", "-root", "-tree"], capture_output=True, text=True)
        found = [m for m in map(line.match, tree.stdout.splitlines())
                 if m and m.group(2) in titles and int(m.group(3)) * int(m.group(4)) > 1]
        if found:
            m = max(found, key=lambda m: int(m.group(3)) * int(m.group(4)))
            return m.group(1)
        time.sleep(0.02)
    return None


def framed(wid, deadline):
    """The window's absolute position and size, and its frame's extents (left,
    right, top, bottom), once the window manager has framed it."""
    while True:
        info = x("xwininfo", "-id", wid)  # fails if the window has gone
        prop = x("xprop", "-id", wid, "_NET_FRAME_EXTENTS")
        if "=" in prop or time.monotonic() > deadline:
            break
        time.sleep(0.02)
    field = lambda name: int(re.search(name + r":\s+(-?\d+)", info).group(1))
    extents = [int(n) for n in re.findall(r"\d+", prop.split("=")[-1])] if "=" in prop else [0, 0, 0, 0]
    return field("Absolute upper-left X"), field("Absolute upper-left Y"), field("Width"), field("Height"), extents


def pixels(png):
    """The picture as rows of (r, g, b), with its size."""
    size = x("identify", "-format", "%w %h", png).split()
    w, h = int(size[0]), int(size[1])
    raw = subprocess.run(["convert", png, "-depth", "8", "rgb:-"], capture_output=True, check=True).stdout
    return w, h, lambda px, py: raw[3 * (py * w + px):3 * (py * w + px) + 3]


def check(png, left, top, extents):
    """What is wrong with the picture, given where the window manager put the
    800 x 600 content (LEFT, TOP) and its frame (EXTENTS: left, right, top, bottom)."""
    w, h, at = pixels(png)
    faults = []
    content = at(left, top)
    if any(at(left + i, top + j) != content for j in range(HEIGHT) for i in range(WIDTH)):
        faults.append("the window's content is not one plain 800 x 600 area at the reported place")
    # Right outside the content, on every side, is no longer the content.
    edges = ([(left - 1, top + j) for j in range(HEIGHT)] + [(left + WIDTH, top + j) for j in range(HEIGHT)]
             + [(left + i, top - 1) for i in range(WIDTH)] + [(left + i, top + HEIGHT) for i in range(WIDTH)])
    if any(0 <= px < w and 0 <= py < h and at(px, py) == content for px, py in edges):
        faults.append("the plain area reaches past 800 x 600")
    fl, fr, ft, fb = extents
    if ft < 10:
        faults.append(f"no title bar: the frame's top is {ft} px")
    # The frame: the title bar is neither the content nor the desktop, and the
    # desktop shows right outside the frame.
    desktop = at(max(0, left - fl - 2), max(0, top - ft - 2))
    bar = [at(left + i, top - ft + j) for j in range(ft) for i in range(-fl, WIDTH + fr)]
    drawn = sum(1 for p in bar if p not in (content, desktop))
    if drawn < 0.9 * len(bar):
        faults.append(f"the title bar is not drawn: {drawn} of {len(bar)} pixels")
    if desktop == content:
        faults.append("the desktop around the frame looks like the window's content")
    return faults, {"content_rgb": list(content), "desktop_rgb": list(desktop)}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--display-file", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--title", action="append")
    parser.add_argument("--running", action="store_true")
    parser.add_argument("command", nargs="+")
    args = parser.parse_args()
    display = open(args.display_file).read().strip()
    os.environ["DISPLAY"] = display if ":" in display else ":" + display

    process = subprocess.Popen(args.command, stdout=subprocess.DEVNULL)
    titles = args.title or ["Quorvantel"]
    wid = find_window(titles, process, time.monotonic() + 30)
    faults = []
    result = {"picture": args.out}
    if wid is None:
        faults.append(f"no window titled {' or '.join(titles)}")
    else:
        # The program has set its caption and sleeps: stopped, it cannot take
        # the window away while the picture is taken (import has taken 3.5 s
        # on a busy machine, longer than the hold had left). The window
        # manager draws the frame on its own time: a picture taken before
        # that shows no title bar, and is taken again.
        if not args.running:
            process.send_signal(signal.SIGSTOP)
        deadline = time.monotonic() + 10
        try:
            while True:
                try:
                    left, top, width, height, extents = framed(wid, deadline)
                    start = time.monotonic()
                    x("import", "-window", "root", args.out)
                    result["picture_ms"] = round(1000 * (time.monotonic() - start))
                    x("xwininfo", "-id", wid)  # still there once the picture is taken
                except subprocess.CalledProcessError as error:
                    faults = [f"no picture of the window: {' '.join(error.cmd)} failed (did the window go early?)"]
                    # A running program may replace the window it showed
                    # first (Wine 10 does): look for the one now there.
                    if args.running and time.monotonic() < deadline:
                        wid = find_window(titles, process, deadline)
                        if wid is not None:
                            continue
                    break
                result.update(window=[left, top, width, height], frame_extents=extents)
                result["pictures"] = result.get("pictures", 0) + 1
                if (width, height) != (WIDTH, HEIGHT):
                    faults = [f"the window manager reports {width} x {height}, not {WIDTH} x {HEIGHT}"]
                else:
                    faults, seen = check(args.out, left, top, extents)
                    result.update(seen)
                if not faults or time.monotonic() > deadline:
                    break
        finally:
            process.send_signal(signal.SIGCONT)
    result["status"] = process.wait(timeout=30)
    result["faults"] = faults
    print(json.dumps(result))
    for fault in faults:
        print(f"screenshot: {fault}", file=sys.stderr)
    sys.exit(1 if faults else 0)


if __name__ == "__main__":
    main()
