#!/usr/bin/env python3
# SPDX-License-Identifier: Zlib
"""Take a picture of quorvantel's window on a desktop, and check the picture.

    screenshot.py --display-file F --out PNG [--title T]... -- COMMAND [ARGS...]

Runs COMMAND on the X display named in F (a desktop with a window manager),
waits for its window titled T (default "Quorvantel"; the first of several
that shows), takes a picture of the
whole screen a second into the hold and checks it against what the window
manager reports: the window's content is one plain 800 x 600 area at the
place the window manager says, inside a frame, with the desktop around it.
Prints what it found as one JSON line; exits 1 if the picture is not that.
"""

import argparse
import json
import os
import re
import subprocess
import sys
import time

WIDTH, HEIGHT = 800, 600


def x(*command):
    return subprocess.run(command, capture_output=True, text=True, check=True).stdout


def find_window(titles, process, deadline):
    """The window id, absolute position and size of the client window with one
    of TITLES, leaving out the 1 x 1 helper windows Wine makes; of several, the largest."""
    line = re.compile(r'^\s*(0x[0-9a-f]+) "(.*)": .*?(\d+)x(\d+)[+-]-?\d+[+-]-?\d+\s+\+(-?\d+)\+(-?\d+)\s*$')
    while time.monotonic() < deadline and process.poll() is None:
        # A window that goes while xwininfo walks the tree makes it fail: look again.
        tree = subprocess.run(["xwininfo", "-root", "-tree"], capture_output=True, text=True)
        found = [m for m in map(line.match, tree.stdout.splitlines())
                 if m and m.group(2) in titles and int(m.group(3)) * int(m.group(4)) > 1]
        if found:
            m = max(found, key=lambda m: int(m.group(3)) * int(m.group(4)))
            return m.group(1), int(m.group(5)), int(m.group(6)), int(m.group(3)), int(m.group(4))
        time.sleep(0.02)
    return None


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
    parser.add_argument("command", nargs="+")
    args = parser.parse_args()
    display = open(args.display_file).read().strip()
    os.environ["DISPLAY"] = display if ":" in display else ":" + display

    process = subprocess.Popen(args.command, stdout=subprocess.DEVNULL)
    titles = args.title or ["Quorvantel"]
    found = find_window(titles, process, time.monotonic() + 30)
    faults = []
    result = {"picture": args.out}
    if found is None:
        faults.append(f"no window titled {' or '.join(titles)}")
    else:
        wid, left, top, width, height = found
        # Time for the window manager to frame the window and for the program
        # to draw, and two seconds of the hold left for the picture: on a busy
        # machine import has been slow enough to outlast the window.
        time.sleep(1.0)
        try:
            prop = x("xprop", "-id", wid, "_NET_FRAME_EXTENTS")
            start = time.monotonic()
            x("import", "-window", "root", args.out)
            result["picture_ms"] = round(1000 * (time.monotonic() - start))
            x("xwininfo", "-id", wid)  # still there once the picture is taken
        except subprocess.CalledProcessError as error:
            prop = ""
            faults.append(f"no picture of the window: {' '.join(error.cmd)} failed (did the window go early?)")
        extents = [int(n) for n in re.findall(r"\d+", prop.split("=")[-1])] if "=" in prop else [0, 0, 0, 0]
        result.update(window=[left, top, width, height], frame_extents=extents)
        if not faults and (width, height) != (WIDTH, HEIGHT):
            faults.append(f"the window manager reports {width} x {height}, not {WIDTH} x {HEIGHT}")
        elif not faults:
            found_faults, seen = check(args.out, left, top, extents)
            faults += found_faults
            result.update(seen)
    result["status"] = process.wait(timeout=30)
    result["faults"] = faults
    print(json.dumps(result))
    for fault in faults:
        print(f"screenshot: {fault}", file=sys.stderr)
    sys.exit(1 if faults else 0)


if __name__ == "__main__":
    main()
