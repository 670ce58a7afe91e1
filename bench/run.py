#!/usr/bin/env python3
# SPDX-License-Identifier: Zlib
"""Benchmark quorvantel against the floor and a peer, inside and under load.

Runs every subject N times on a private Xvfb, in turn (so that drift hits all
alike), each run watched by the tests' window probe; prints a Markdown report
and writes it, with the raw runs as JSON, under the output folder.

    bench/run.py [--runs N] [--build DIR] [--out DIR] [--loads 1,8,32,64]
"""

import argparse
import datetime
import json
import os
import platform
import re
import statistics
import subprocess
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent


def stacks(build):
    """The SDL 1.2 stacks installed here, as the build's configuration found them:
    {name: (environment that selects it, what it is)}."""
    lines = (build / "sdl-stacks.tsv").read_text().splitlines()
    return {name: ({"LD_LIBRARY_PATH": path}, what) for name, path, what in (line.split("\t") for line in lines)}

# What the table shows: key in the probe's JSON (or derived), heading, unit.
FIGURES = [
    ("mapped", "start → window mapped", "ms"),
    ("caption", "start → caption set", "ms"),
    ("hold", "hold (caption → gone)", "ms"),
    ("gone_to_exit", "gone → exit", "ms"),
    ("exit", "wall time", "ms"),
    ("cpu", "CPU (user+sys)", "ms"),
    ("hold_cpu_ms", "CPU in the hold, all threads", "ms "),
    ("hold_cpu_main_thread_ms", "CPU in the hold, main thread", "ms "),
    ("rss", "peak RSS", "MiB"),
]


def probe_command(build, display, command, extra=()):
    return [str(build / "probe" / "window_probe"), "--display-file", str(display), *extra, "--", *command]


def probe(build, display, command, env=None, extra=()):
    """One run of COMMAND under the probe: its JSON, with derived figures."""
    out = subprocess.run(
        probe_command(build, display, command, extra),
        env={**os.environ, **(env or {})},
        capture_output=True,
        text=True,
        check=False,
    ).stdout
    run = json.loads(out.strip().splitlines()[-1])
    run["cpu"] = run["user_ms"] + run["sys_ms"]
    run["rss"] = run["maxrss_kb"] / 1024
    return run


def cell(values, unit):
    if not values:
        return "–"
    fmt = "{:.0f}" if unit == "ms" else "{:.1f}"
    med, lo, hi = statistics.median(values), min(values), max(values)
    return f"{fmt.format(med)} ({fmt.format(lo)}–{fmt.format(hi)})"


def values(runs, key):
    return [r[key] for r in runs if key in r and r[key] is not None and r[key] >= 0]


def table(results):
    lines = ["| subject | " + " | ".join(f"{h} ({u.strip()})" for _, h, u in FIGURES) + " | status |",
             "|---" * (len(FIGURES) + 2) + "|"]
    for name, runs in results.items():
        statuses = sorted({r["status"] for r in runs})
        lines.append(f"| {name} | " + " | ".join(cell(values(runs, k), u) for k, _, u in FIGURES)
                     + f" | {','.join(map(str, statuses))} |")
    return "\n".join(lines)


def ratios(results, floor_name):
    floor = results[floor_name]
    lines = [f"Ratio of medians to the floor ({floor_name}):", "",
             "| subject | start → mapped | wall time | CPU | peak RSS |", "|---|---|---|---|---|"]
    for name, runs in results.items():
        if name == floor_name:
            continue
        row = []
        for key in ("mapped", "exit", "cpu", "rss"):
            a, b = values(runs, key), values(floor, key)
            row.append(f"{statistics.median(a) / statistics.median(b):.2f}×" if a and b else "–")
        lines.append(f"| {name} | " + " | ".join(row) + " |")
    return "\n".join(lines)


def breakdown(build, display, runtimes, runs):
    """Where quorvantel's time before the window goes, from inside: the SDL
    calls timed by an LD_PRELOAD interposer, the loader's own statistics, and
    what SDL_Init touches, from strace."""
    shim = build / "bench" / "libbench_sdl_timing.so"
    program = str(build / "quorvantel")
    lines = ["| runtime | exec + dynamic loading | SDL_Init | SDL_SetVideoMode | SDL_WM_SetCaption | SDL_Delay | SDL_Quit |",
             "|---|---|---|---|---|---|---|"]
    raw = {}
    for name, env in runtimes.items():
        phases = {k: [] for k in ("loading", "SDL_Init", "SDL_SetVideoMode", "SDL_WM_SetCaption", "SDL_Delay", "SDL_Quit")}
        for _ in range(runs):
            with tempfile.NamedTemporaryFile(suffix=".json") as log:
                run = probe(build, display, [program],
                            {**env, "LD_PRELOAD": str(shim), "SDL_TIMING_LOG": log.name})
                marks = json.loads(Path(log.name).read_text())
            phases["loading"].append(marks["loaded"] - run["t0"])
            for call in list(phases)[1:]:
                phases[call].append(marks[call][1] - marks[call][0])
        raw[name] = phases
        lines.append(f"| {name} | " + " | ".join(cell(v, "ms") for v in phases.values()) + " |")

    lines += ["", "Dynamic loader (`LD_DEBUG=statistics`, one run each, SDL failing at once):", ""]
    for name, env in runtimes.items():
        err = subprocess.run([program], env={**os.environ, **env, "LD_DEBUG": "statistics",
                                             "SDL_VIDEODRIVER": "no-such-driver"},
                             capture_output=True, text=True, check=False).stderr
        total = re.search(r"total startup time in dynamic loader: (\d+) cycles", err)
        relocs = re.search(r"final number of relocations: (\d+)", err) or re.search(r"number of relocations: (\d+)", err)
        load = re.search(r"time needed to load objects: (\d+) cycles \(([\d.]+)%\)", err)
        lines.append(f"- {name}: {int(total.group(1)) / 1e6:.2f} M cycles in the loader at start-up, "
                     f"{relocs.group(1)} relocations, {load.group(2)}% of the time loading objects"
                     if total and relocs and load else f"- {name}: no statistics")

    lines += ["", "What SDL_Init opens and connects to (`strace -f`, one run each; times are under strace):", "",
              "| runtime | group | files or sockets | first touched (ms after exec) |", "|---|---|---|---|"]
    groups = [("shared libraries", r"\.so(\.|\")"), ("X server", r"X11-unix"), ("ALSA", r"alsa|/dev/snd"),
              ("PulseAudio", r"pulse"), ("D-Bus", r"dbus"), ("input devices", r"/dev/input|/sys/class/input|udev"),
              ("CD-ROM", r"cdrom|/proc/mounts|/etc/fstab|mtab"), ("locale, fonts, other", r".")]
    for name, env in runtimes.items():
        with tempfile.NamedTemporaryFile(suffix=".strace") as trace:
            probe(build, display, ["strace", "-f", "-ttt", "-e", "trace=execve,openat,connect", "-o", trace.name, program], env)
            text = Path(trace.name).read_text().splitlines()
        start = float(text[0].split()[1])
        seen = {}
        for line in text[1:]:
            if ("openat(" not in line and "connect(" not in line) or "ENOENT" in line and "connect(" not in line:
                continue
            stamp = float(line.split()[1])
            for group, pattern in groups:
                if re.search(pattern, line):
                    count, first = seen.get(group, (0, stamp))
                    seen[group] = (count + 1, first)
                    break
        for group, _ in groups:
            if group in seen:
                lines.append(f"| {name} | {group} | {seen[group][0]} | {(seen[group][1] - start) * 1e3:.0f} |")
    return "\n".join(lines), raw


def memory_available_kb():
    for line in Path("/proc/meminfo").read_text().splitlines():
        if line.startswith("MemAvailable:"):
            return int(line.split()[1])
    return 0


def load(build, display, runtimes, counts):
    """Many instances at once on one X server."""
    program = str(build / "quorvantel")
    lines = ["| runtime | instances | all exited 1 | every hold ≥ 3000 ms | shortest hold (ms) | captions the probe "
             "read late | batch wall time (ms) | total CPU (ms) | sum of peak RSS (MiB) | memory in use at peak (MiB) |",
             "|---" * 10 + "|"]
    raw = []
    for name, env in runtimes.items():
        for n in counts:
            before = memory_available_kb()
            lowest = before
            procs = [subprocess.Popen(probe_command(build, display, [program], ["--timeout", "120000"]),
                                      env={**os.environ, **env}, stdout=subprocess.PIPE,
                                      stderr=subprocess.DEVNULL, text=True) for _ in range(n)]
            while any(p.poll() is None for p in procs):
                lowest = min(lowest, memory_available_kb())
                time.sleep(0.05)
            runs = [json.loads(p.stdout.read().strip().splitlines()[-1]) for p in procs]
            # A caption the probe read late, with no server stamp, times the
            # hold from when it was read: that hold is shorter than the real one.
            stamped = [r for r in runs if r.get("caption_stamped")]
            holds = [r.get("hold", -1) for r in stamped] or [-1]
            wall = max(r["t0"] + r["exit"] for r in runs) - min(r["t0"] for r in runs)
            cpu = sum(r["user_ms"] + r["sys_ms"] for r in runs)
            rss = sum(r["maxrss_kb"] for r in runs) / 1024
            raw.append({"runtime": name, "instances": n, "runs": runs})
            lines.append(f"| {name} | {n} | {'yes' if all(r['status'] == 1 for r in runs) else 'NO'} "
                         f"| {'yes' if min(holds) >= 3000 else 'NO'} | {min(holds):.0f} | {n - len(stamped)} "
                         f"| {wall:.0f} | {cpu:.0f} "
                         f"| {rss:.0f} | {(before - lowest) / 1024:.0f} |")
    return "\n".join(lines), raw


def versions(installed):
    xvfb = subprocess.run(["dpkg-query", "-W", "-f=${Version}", "xvfb"], capture_output=True, text=True).stdout
    cpu = next((l.split(":", 1)[1].strip() for l in Path("/proc/cpuinfo").read_text().splitlines()
                if l.startswith("model name")), platform.processor())
    return (f"{datetime.date.today()}, {os.cpu_count()} × {cpu}, Linux {platform.release()}; "
            + "; ".join(f"{name}: {what}" for name, (_, what) in installed.items()) + f"; Xvfb {xvfb}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=10)
    parser.add_argument("--build", type=Path, default=ROOT / "build" / "ci")
    parser.add_argument("--out", type=Path, default=ROOT / "build" / "bench")
    parser.add_argument("--loads", default="1,8,32,64")
    args = parser.parse_args()
    args.out.mkdir(parents=True, exist_ok=True)

    xvfb = args.out / "xvfb"
    subprocess.run([str(ROOT / "tests" / "xvfb.sh"), "start", str(xvfb)], check=True, stdout=subprocess.DEVNULL)
    display = xvfb / "display"
    installed = stacks(args.build)
    try:
        program = [str(args.build / "quorvantel")]
        plain = [str(args.build / "bench" / "bench_plain_sdl")]
        subjects = {f"quorvantel on {name}": (program, env, []) for name, (env, _) in installed.items()}
        subjects.update({f"plain C SDL 1.2 program, same five calls ({name})": (plain, env, [])
                         for name, (env, _) in installed.items()})
        subjects.update({
            "floor: plain Xlib window": ([str(args.build / "bench" / "bench_floor")], {}, []),
            "peer: xmessage -timeout 3": (["xmessage", "-timeout", "3", "Quorvantel"], {},
                                          ["--any-client", "--caption", "xmessage"]),
        })
        results = {name: [] for name in subjects}
        names = list(subjects)
        for i in range(args.runs):
            for name in names[i % len(names):] + names[:i % len(names)]:
                command, env, extra = subjects[name]
                results[name].append(probe(args.build, display, command, env, extra))

        runtimes = {name: env for name, (env, _) in installed.items()}
        inside, inside_raw = breakdown(args.build, display, runtimes, max(3, args.runs // 2))
        loaded, load_raw = load(args.build, display, runtimes, [int(n) for n in args.loads.split(",")])
    finally:
        subprocess.run([str(ROOT / "tests" / "xvfb.sh"), "stop", str(xvfb)], check=False)

    report = "\n".join([
        f"Measured {versions(installed)}; {args.runs} runs of each subject, in turn, on a private Xvfb; "
        "median (min–max).", "",
        table(results), "", ratios(results, "floor: plain Xlib window"), "",
        "Inside quorvantel (median (min–max) of each phase, ms; loading is from the probe's fork to the "
        "end of the program's constructors):", "", inside, "",
        "Under load: N instances started at once on one X server:", "", loaded, ""])
    page = ROOT / "bench" / "README.md"
    text = page.read_text()
    start, end = text.index("<!-- report -->\n") + len("<!-- report -->\n"), text.index("<!-- /report -->")
    page.write_text(text[:start] + report + text[end:])
    stamp = datetime.datetime.now().strftime("%Y%m%d-%H%M%S")
    (args.out / f"bench-{stamp}.md").write_text(report)
    (args.out / f"bench-{stamp}.json").write_text(json.dumps(
        {"machine": versions(installed), "runs": results, "inside": inside_raw, "load": load_raw}, indent=1))
    print(report)
    print(f"raw runs: {args.out / f'bench-{stamp}.json'}")


if __name__ == "__main__":
    main()
