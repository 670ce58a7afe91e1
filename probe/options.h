// SPDX-License-Identifier: Zlib
// What the probe is asked to do to the program and to expect of it.
//
// Every option may also be written --option=VALUE.
//   --display-file F   read the display (as Xvfb -displayfd writes it) from F
//   --caption TEXT     the title of the window to judge (default "Quorvantel")
//   --close-after MS   send WM_DELETE_WINDOW to that window MS after its caption
//   --signal SIG:MS    send SIGINT, SIGTERM, ... (INT, TERM, ...) MS after the caption
//   --kill-server MS   kill the X server, whose pid is in --server-pid F, MS after the caption
//   --stdout MODE      the program's standard output: pipe (default), closed, full (/dev/full)
//   --unset VAR        remove VAR (DISPLAY, say) from the program's environment
//   --timeout MS       kill the program if it runs longer (default 30000)
//   --any-client       take every top-level window as the program's, for programs
//                      that do not set _NET_WM_PID (on a server of their own)
//   --timeline F       judge the run another watcher recorded in F (timeline.h)
//                      instead of running a program and watching it on X
// Expectations:
//   --status N         the program exits normally with status N
//   --output TEXT      and writes exactly TEXT to standard output
//   --output-has TEXT  and writes something that contains TEXT
//   --window W:H       it shows exactly one window with the caption in WM_NAME (and
//                      _NET_WM_NAME where set), W x H, mapped, gone before the exit
//   --icon-name TEXT   that window's icon name (default: it has none)
//   --wm-class NAME    that window's WM_CLASS class (on Wayland its app_id) is NAME
//   --shell NAME       on Wayland, it came through NAME: xdg_shell or xwayland
//   --save-icon PATH   that window has an icon (_NET_WM_ICON); its largest image
//                      is written to PATH as a PAM picture (removed before the run)
//   --no-window        it shows no window at all
//   --hold MIN:MAX     the window stays MIN..MAX ms after its caption was set
//   --hold-from shown  ... at least MIN after it was mapped instead (caption: the default)
//   --gone-at-exit     the window goes as the process ends (in Wine's shutdown), so it
//                      may be seen gone just after the exit
//   --exit-within MS   the program has exited MS after its start
//   --exit-after MS    ... and not before MS after it
//   --started-by PATH  its start is when PATH (its SDL.dll, say) is first opened,
//                      not the fork: what runs before that is its host's (Wine)
//   --stack NAME:LIBS  the program runs on the SDL 1.2 stack NAME: the SDL libraries
//                      mapped into it are exactly LIBS (libSDL-1.2.so.0,libSDL2-2.0.so.0,
//                      ..., as tests/sdl-stacks.txt lists them)
//   --arch NAME:ELF    ... built for the architecture NAME, whose ELF machine and
//                      word size are ELF (183/64, as tests/architectures.txt lists them)
//   --absent PATH      PATH does not exist after the run (removed before it)
//   --file PATH:TEXT   PATH holds exactly TEXT after the run (removed before it)
#pragma once

#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace probe {

struct Options {
    std::string display_file;
    std::string caption = "Quorvantel";
    std::optional<double> close_after;
    std::optional<std::pair<int, double>> signal_after;
    std::optional<double> kill_server_after;
    std::string server_pid_file;
    std::string stdout_mode = "pipe";
    std::vector<std::string> unset;
    double timeout = 30000;
    bool any_client = false;
    std::string timeline;

    std::optional<int> status;
    std::optional<std::string> output;
    std::optional<std::string> output_has;
    std::optional<std::pair<int, int>> window;
    std::string icon_name;
    std::optional<std::string> wm_class;
    std::optional<std::string> shell;
    std::string save_icon;
    bool no_window = false;
    std::optional<std::pair<double, double>> hold;
    bool hold_from_shown = false;
    bool gone_at_exit = false;
    std::optional<double> exit_within;
    std::optional<double> exit_after;
    std::string started_by;
    std::optional<std::pair<std::string, std::set<std::string>>> stack;  // name, libraries
    std::optional<std::pair<std::string, std::string>> arch;             // name, ELF machine
    std::vector<std::string> absent;
    std::vector<std::pair<std::string, std::string>> files;

    std::vector<char*> command;
};

// Reads the command line (see main.cpp); dies on a malformed one.
Options parse(int argc, char** argv);

}  // namespace probe
