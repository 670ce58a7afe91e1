// SPDX-License-Identifier: Zlib
// Running the program: starting it as asked, carrying out the timed actions
// while the watcher follows its windows, and what the run came to.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <string>
#include <utility>

#include "options.h"
#include "watcher.h"

namespace probe {

// The SDL 1.2 stack a running process has loaded, from the libraries mapped
// into it, and the path of its libSDL-1.2. sdl12-compat loads SDL 2 when SDL
// starts, and sdl2-compat loads SDL 3.
struct Stack {
    int rank = 0;  // 0 nothing yet, 1 classic, 2 compat-sdl2, 3 compat-sdl3
    std::string library;

    [[nodiscard]] std::string name() const
    {
        static const std::array<const char*, 4> names{"", "classic", "compat-sdl2", "compat-sdl3"};
        return names.at(static_cast<size_t>(rank));
    }

    // Libraries can be unloaded as SDL shuts down: the most seen counts.
    void look(pid_t pid)
    {
        std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
        std::string line;
        int seen = 0;
        while (std::getline(maps, line)) {
            if (line.find("/libSDL3") != std::string::npos) {
                seen = std::max(seen, 3);
            } else if (line.find("/libSDL2-2.0") != std::string::npos) {
                seen = std::max(seen, 2);
            } else if (line.find("/libSDL-1.2") != std::string::npos) {
                seen = std::max(seen, 1);
                library = line.substr(line.find('/'));
            }
        }
        rank = std::max(rank, seen);
    }
};

struct Run {
    double t0 = 0;  // the start, on CLOCK_MONOTONIC
    pid_t pid = 0;
    std::string output;
    Stack stack;
    std::pair<double, double> cpu_at_caption{-1, -1};  // CPU used when the caption was seen,
    std::pair<double, double> cpu_last{-1, -1};        // and at the last look while the window was up
    double exited = -1;
    int wstatus = 0;
    rusage usage{};
};

// Whether a window is the program's (by _NET_WM_PID, or every window with --any-client).
bool ours(const Options& o, const Run& r, const Seen& w);

// Runs the program to its end, carrying out the timed actions, then gives the
// server a moment to report the windows it removed on the program's behalf.
Run watch_run(const Options& o, Display* dpy, Watcher& watch);

// The program's windows, and the one judged: the first captioned.
struct Windows {
    int own = 0;
    int captioned = 0;
    const Seen* shown = nullptr;
};
Windows tally(const Options& o, const Run& r, const Watcher& watch);

}  // namespace probe
