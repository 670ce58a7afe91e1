// SPDX-License-Identifier: Zlib
// window_probe: start a program under an X server and watch, from outside,
// what it does with its top-level windows.
//
//   window_probe [options] -- PROGRAM [ARGS...]
//
// The probe listens on the root window before the program starts, so it sees
// every top-level window the program creates, names, maps and removes; it
// tells the program's windows from other clients' by their _NET_WM_PID. It
// prints one JSON line of measurements (milliseconds since the program was
// started) and, when expectations are given, checks them all and exits 1 if
// any is broken. The options are listed in options.h. With --timeline it
// judges, by the same expectations, a run another watcher recorded instead.
#include <X11/Xlib.h>
#include <sched.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "common.h"
#include "judge.h"
#include "options.h"
#include "program.h"
#include "report.h"
#include "timeline.h"
#include "watcher.h"

using namespace probe;

int main(int argc, char** argv)
{
    const Options o = parse(argc, argv);
    if (!o.timeline.empty()) {
        Run r;
        WindowLog windows;
        read_timeline(o.timeline, r, windows);
        report(o, r, windows);
        return judge(o, r, windows) == 0 ? 0 : 1;
    }
    if (!o.display_file.empty()) {
        const std::string display = first_line(o.display_file);
        setenv("DISPLAY", (display.find(':') == std::string::npos ? ":" + display : display).c_str(), 1);
    }
    // Read events the moment they come, however busy the machine: a caption
    // read late would shorten the measured hold. Where real-time scheduling
    // is not allowed the probe runs as it is; the program never inherits it.
    sched_param realtime{};
    realtime.sched_priority = 10;
    sched_setscheduler(0, SCHED_FIFO | SCHED_RESET_ON_FORK, &realtime);

    Display* dpy = XOpenDisplay(nullptr);
    if (dpy == nullptr) {
        die("cannot open display");
    }
    XSetErrorHandler(ignore_x_errors);
    for (const auto& path : o.absent) {
        std::remove(path.c_str());
    }
    for (const auto& file : o.files) {
        std::remove(file.first.c_str());
    }
    if (!o.save_icon.empty()) {
        std::remove(o.save_icon.c_str());
    }

    Watcher watch(dpy, o.caption);
    const Run r = watch_run(o, dpy, watch);

    report(o, r, watch.windows);
    save_icon(o, r, watch.windows);
    const int broken = judge(o, r, watch.windows);
    if (!o.kill_server_after) {
        XCloseDisplay(dpy);
    }
    return broken == 0 ? 0 : 1;
}
