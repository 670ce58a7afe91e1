// SPDX-License-Identifier: Zlib
// Running the program: starting it as asked, carrying out the timed actions
// while the watcher follows its windows, and what the run came to.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <fstream>
#include <map>
#include <set>
#include <string>
#include <utility>

#include "common.h"
#include "options.h"
#include "watcher.h"

namespace probe {

// The SDL libraries a running process has loaded (libSDL-1.2, libSDL2-2.0,
// libSDL3: each file's name up to ".so"), from the files mapped into it, and
// the path of its libSDL-1.2 and the architecture that library is built for
// (its ELF machine: under qemu-user, the emulated one). sdl12-compat loads SDL 2 when SDL starts, and
// sdl2-compat loads SDL 3; they can be unloaded as SDL shuts down, so every
// one seen counts.
struct Stack {
    // "libSDL-1.2,libSDL2-2.0", say.
    static std::string names(const std::set<std::string>& libraries)
    {
        std::string all;
        for (const auto& name : libraries) {
            all += (all.empty() ? "" : ",") + name;
        }
        return all;
    }

    std::set<std::string> libraries;
    std::string library;
    std::string machine;

    void look(pid_t pid)
    {
        std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
        std::string line;
        while (std::getline(maps, line)) {
            const auto slash = line.rfind('/');
            const std::string name = slash == std::string::npos ? "" : library_name(line.substr(slash + 1));
            if (name.rfind("libSDL", 0) != 0) {
                continue;
            }
            libraries.insert(name);
            if (name == "libSDL-1.2") {
                const std::string path = line.substr(line.find('/'));
                if (path != library) {  // each of its mappings is a line; the file is read once
                    library = path;
                    machine = elf_machine(library);
                }
            }
        }
    }
};

// How often the probe asks the X server for a stamp (Watcher::beat), in ms.
constexpr double beat_interval = 5;
// How long after the program's exit the probe waits for the server to
// report its windows gone, in ms: the server removes a client's windows when
// its connection closes, at the latest as the process ends (under Wine, in
// Wine's shutdown), and the wait ends as soon as they are. Only a window the
// server kept would last it.
constexpr double gone_after_exit = 5000;

// CPU time, in ms: used by all of a process's threads, by its main thread,
// and how long its main thread waited, runnable, for a CPU (-1: not read).
struct Cpu {
    double total = -1;
    double main_thread = -1;
    double main_waited = -1;
};

struct Run {
    double t0 = 0;        // the start, on CLOCK_MONOTONIC
    double started = -1;  // when --started-by's file was first opened
    pid_t pid = 0;
    std::string output;
    Stack stack;
    Cpu cpu_at_caption;  // when the caption was seen,
    Cpu cpu_last;        // and at the last look while the window was up
    double exited = -1;
    int wstatus = 0;
    rusage usage{};
};

// Whether a window is the program's (by _NET_WM_PID, or every window with --any-client).
bool ours(const Options& o, const Run& r, const Seen& w);

// Runs the program to its end, carrying out the timed actions, then waits
// (gone_after_exit at most) for the server to report the windows it removed
// on the program's behalf.
Run watch_run(const Options& o, Display* dpy, Watcher& watch);

// The program's windows, and the one judged: the first captioned.
struct Windows {
    int own = 0;
    int captioned = 0;
    const Seen* shown = nullptr;
};
Windows tally(const Options& o, const Run& r, const WindowLog& windows);

// The instant a window's hold is judged from (--hold-from), never after it
// began: the server's stamp just before the caption or the mapping, or the
// program's start where nothing was stamped before them.
double hold_start(const Options& o, const Seen& w);

// How long the program's main thread, which holds the window, waited for a
// CPU while its window was up: the busy machine's time, not the program's.
double hold_waited(const Run& r);

// The instant the program's own run began (--started-by), -1 if never seen.
double program_start(const Options& o, const Run& r);

}  // namespace probe
