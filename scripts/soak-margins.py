#!/usr/bin/env python3
# SPDX-License-Identifier: Zlib
"""What a soak's runs came to, from CTest's JUnit files: which runs and tests
failed, and for each timed expectation the worst value any run measured
against its bound, read from the window probe's report (the JSON line it
prints): the shortest hold as judged, the longest hold after the caption,
the slowest failure exit, the slowest start, and how many holds had no server
stamp before them (judged from the program's start instead). The bounds are
the tests' own, named in tests/CMakeLists.txt and tests/windows.cmake; the
figures are grouped by the first part of the test's name (e2e, faults,
memcheck, windows, ...), which shares them.

    scripts/soak-margins.py RUN.xml...
Exits 1 if any run failed."""
import json
import sys
import xml.etree.ElementTree as ET


def reports(case):
    """The probe's reports in a test case's output."""
    out = case.findtext("system-out") or ""
    for line in out.splitlines():
        if line.startswith("{") and '"status"' in line:
            try:
                yield json.loads(line)
            except json.JSONDecodeError:
                pass


def main(paths):
    failed_runs = 0
    failures = {}
    worst = {}  # family -> figure -> (value, test, run)
    unstamped = {}  # family -> how many holds

    def note(family, figure, value, test, run, larger):
        best = worst.setdefault(family, {}).get(figure)
        if best is None or (value > best[0] if larger else value < best[0]):
            worst[family][figure] = (value, test, run)

    for path in paths:
        cases = ET.parse(path).getroot().iter("testcase")
        failed = []
        for case in cases:
            name = case.get("name")
            if case.get("status") == "fail":
                failed.append(name)
                failures[name] = failures.get(name, 0) + 1
            family = name.split(".")[0]
            for r in reports(case):
                if r.get("held") is not None:
                    note(family, "shortest hold as judged (ms; at least 3000)", r["held"], name, path, False)
                    note(family, "longest hold after the caption (ms)", r["hold"], name, path, True)
                    note(family, "slowest start to the mapping (ms)", r["mapped"], name, path, True)
                    unstamped[family] = unstamped.get(family, 0) + (r.get("hold_from", -1) < 0)
                if r.get("windows") == 0 and r.get("status") == 0 and r.get("started", -1) >= 0:
                    note(family, "slowest failure exit from the program's start (ms)", r["exit"] - r["started"],
                         name, path, True)
        failed_runs += bool(failed)
        print(f"soak: {path}: {'FAILED: ' + ' '.join(failed) if failed else 'passed'}")

    print()
    print("| tests | figure | worst | where |")
    print("|---|---|---|---|")
    for family in sorted(worst):
        for figure, (value, test, run) in sorted(worst[family].items()):
            print(f"| {family} | {figure} | {value:.1f} | {test} ({run}) |")
        if family in unstamped:
            print(f"| {family} | holds with no server stamp before them | {unstamped[family]} | |")
    for name, count in sorted(failures.items()):
        print(f"soak:   {name} failed in {count} of {len(paths)} runs")
    print(f"soak: {len(paths) - failed_runs} passed, {failed_runs} failed")
    return 1 if failed_runs else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
