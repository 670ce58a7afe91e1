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
// any is broken.
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
// Expectations:
//   --status N         the program exits normally with status N
//   --output TEXT      and writes exactly TEXT to standard output
//   --output-has TEXT  and writes something that contains TEXT
//   --window W:H       it shows exactly one window with the caption in WM_NAME (and
//                      _NET_WM_NAME where set), W x H, mapped, gone before the exit
//   --icon-name TEXT   that window's icon name (default: it has none)
//   --no-window        it shows no window at all
//   --hold MIN:MAX     the window stays MIN..MAX ms after its caption was set
//   --hold-from map    ... after it was mapped instead
//   --exit-within MS   the program has exited MS after its start
//   --exit-after MS    ... and not before MS after it
//   --stack NAME       the program runs on that SDL 1.2 stack, as the libraries
//                      mapped into it show: classic, compat-sdl2 or compat-sdl3
//   --absent PATH      PATH does not exist after the run (removed before it)
//   --file PATH:TEXT   PATH holds exactly TEXT after the run (removed before it)
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

double now_ms()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

double ms(const timeval& tv)
{
    return static_cast<double>(tv.tv_sec) * 1e3 + static_cast<double>(tv.tv_usec) / 1e3;
}

[[noreturn]] void die(const std::string& what)
{
    std::fprintf(stderr, "window_probe: %s\n", what.c_str());
    std::exit(2);
}

std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string first_line(const std::string& path)
{
    std::string text = slurp(path);
    return text.substr(0, text.find('\n'));
}

std::string json(const std::string& s)
{
    std::string out = "\"";
    for (const unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7f) {
            std::array<char, 8> esc{};
            std::snprintf(esc.data(), esc.size(), "\\u%04x", c);
            out += esc.data();
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::pair<std::string, std::string> split_pair(const std::string& text)
{
    const auto colon = text.find(':');
    if (colon == std::string::npos) {
        die("expected A:B, got '" + text + "'");
    }
    return {text.substr(0, colon), text.substr(colon + 1)};
}

std::pair<double, double> number_pair(const std::string& text)
{
    const auto [a, b] = split_pair(text);
    return {std::stod(a), std::stod(b)};
}

int signal_number(const std::string& name)
{
    static const std::map<std::string, int> names{
        {"INT", SIGINT}, {"TERM", SIGTERM}, {"HUP", SIGHUP}, {"QUIT", SIGQUIT}, {"KILL", SIGKILL}};
    const auto it = names.find(name);
    if (it == names.end()) {
        die("unknown signal '" + name + "'");
    }
    return it->second;
}

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

    std::optional<int> status;
    std::optional<std::string> output;
    std::optional<std::string> output_has;
    std::optional<std::pair<int, int>> window;
    std::string icon_name;
    bool no_window = false;
    std::optional<std::pair<double, double>> hold;
    bool hold_from_map = false;
    std::optional<double> exit_within;
    std::optional<double> exit_after;
    std::optional<std::string> stack;
    std::vector<std::string> absent;
    std::vector<std::pair<std::string, std::string>> files;

    std::vector<char*> command;
};

Options parse(int argc, char** argv)
{
    Options o;
    int i = 1;
    for (; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        std::string flag = argv[i];
        std::optional<std::string> inline_value;
        if (const auto eq = flag.find('='); eq != std::string::npos) {
            inline_value = flag.substr(eq + 1);
            flag.resize(eq);
        }
        auto value = [&]() -> std::string {
            if (inline_value) {
                return *inline_value;
            }
            if (i + 1 >= argc) {
                die(flag + " needs a value");
            }
            return argv[++i];
        };
        const std::map<std::string, std::function<void()>> handlers{
            {"--display-file", [&] { o.display_file = value(); }},
            {"--caption", [&] { o.caption = value(); }},
            {"--close-after", [&] { o.close_after = std::stod(value()); }},
            {"--signal",
             [&] {
                 const auto [name, after] = split_pair(value());
                 o.signal_after = {{signal_number(name), std::stod(after)}};
             }},
            {"--kill-server", [&] { o.kill_server_after = std::stod(value()); }},
            {"--server-pid", [&] { o.server_pid_file = value(); }},
            {"--stdout", [&] { o.stdout_mode = value(); }},
            {"--unset", [&] { o.unset.push_back(value()); }},
            {"--timeout", [&] { o.timeout = std::stod(value()); }},
            {"--any-client", [&] { o.any_client = true; }},
            {"--status", [&] { o.status = std::stoi(value()); }},
            {"--output", [&] { o.output = value(); }},
            {"--output-has", [&] { o.output_has = value(); }},
            {"--window",
             [&] {
                 const auto [w, h] = number_pair(value());
                 o.window = {{static_cast<int>(w), static_cast<int>(h)}};
             }},
            {"--icon-name", [&] { o.icon_name = value(); }},
            {"--no-window", [&] { o.no_window = true; }},
            {"--hold", [&] { o.hold = number_pair(value()); }},
            {"--hold-from", [&] { o.hold_from_map = value() == "map"; }},
            {"--exit-within", [&] { o.exit_within = std::stod(value()); }},
            {"--exit-after", [&] { o.exit_after = std::stod(value()); }},
            {"--stack", [&] { o.stack = value(); }},
            {"--absent", [&] { o.absent.push_back(value()); }},
            {"--file", [&] { o.files.push_back(split_pair(value())); }},
        };
        const auto handler = handlers.find(flag);
        if (handler == handlers.end()) {
            die("unknown option '" + flag + "'");
        }
        handler->second();
    }
    for (++i; i < argc; ++i) {
        o.command.push_back(argv[i]);
    }
    if (o.command.empty()) {
        die("usage: window_probe [options] -- PROGRAM [ARGS...]");
    }
    o.command.push_back(nullptr);
    return o;
}

// What the probe learnt about one top-level window.
struct Seen {
    long pid = 0;
    double created = -1;
    double mapped = -1;
    double captioned = -1;
    double gone = -1;
    int width = 0;
    int height = 0;
    std::string wm_name;
    std::string net_wm_name;
    std::string icon_name;
    bool caption_stamped = false;  // its time is the server's, not when the probe read it
};

class Watcher {
public:
    Watcher(Display* dpy, std::string caption) : dpy_(dpy), caption_(std::move(caption))
    {
        XSelectInput(dpy_, DefaultRootWindow(dpy_), SubstructureNotifyMask);
        XSync(dpy_, False);
    }

    std::map<Window, Seen> windows;
    double first_caption = -1;

    // t is when the probe read the event; t0 the start, on the same clock.
    void handle(const XEvent& e, double t, double t0)
    {
        if (e.type == CreateNotify) {
            if (e.xcreatewindow.parent != DefaultRootWindow(dpy_)) {
                return;
            }
            // The server hands out a vanished client's ids again: start afresh.
            Seen& w = windows[e.xcreatewindow.window] = Seen{};
            w.created = t;
            w.width = e.xcreatewindow.width;
            w.height = e.xcreatewindow.height;
            XSelectInput(dpy_, e.xcreatewindow.window, PropertyChangeMask | StructureNotifyMask);
            // Properties set before the selection took effect raised no event.
            refresh(e.xcreatewindow.window, w, t, false);
            return;
        }
        const auto it = windows.find(subject(e));
        if (it == windows.end()) {
            return;
        }
        Seen& w = it->second;
        switch (e.type) {
        case PropertyNotify:
            if (const auto stamped = server_time(e.xproperty.time, t, t0)) {
                refresh(it->first, w, *stamped, true);
            } else {
                refresh(it->first, w, t, false);
            }
            break;
        case ConfigureNotify:
            if (w.gone < 0) {
                w.width = e.xconfigure.width;
                w.height = e.xconfigure.height;
            }
            break;
        case MapNotify:
            if (w.mapped < 0) {
                w.mapped = t;
            }
            break;
        case UnmapNotify:
        case DestroyNotify:
            if (w.gone < 0 && (e.type == DestroyNotify || w.mapped >= 0)) {
                w.gone = t;
            }
            break;
        default:
            break;
        }
    }

    void send_delete(Window target)
    {
        XEvent ev{};
        ev.xclient.type = ClientMessage;
        ev.xclient.window = target;
        ev.xclient.message_type = protocols_;
        ev.xclient.format = 32;
        ev.xclient.data.l[0] = static_cast<long>(delete_window_);
        ev.xclient.data.l[1] = CurrentTime;
        XSendEvent(dpy_, target, False, NoEventMask, &ev);
        XFlush(dpy_);
    }

private:
    // Xvfb stamps events with CLOCK_MONOTONIC in whole milliseconds, the
    // probe's own clock, so a stamp tells when the server made a change
    // however late the probe read it. The end of that millisecond is taken,
    // so the moment is never early; a stamp that makes no sense is ignored.
    static std::optional<double> server_time(Time stamp, double t, double t0)
    {
        const auto now = static_cast<std::uint32_t>(static_cast<std::uint64_t>(t + t0));
        const std::uint32_t lag = now - static_cast<std::uint32_t>(stamp);
        if (lag >= 10000) {
            return std::nullopt;
        }
        return std::min(t, t - lag + 1);
    }

    // The window an event is about; xany.window is the one it was reported
    // to, which for the root's substructure events is the root.
    static Window subject(const XEvent& e)
    {
        switch (e.type) {
        case ConfigureNotify:
            return e.xconfigure.window;
        case MapNotify:
            return e.xmap.window;
        case UnmapNotify:
            return e.xunmap.window;
        case DestroyNotify:
            return e.xdestroywindow.window;
        default:
            return e.xany.window;
        }
    }

    // A property's value, "" when it is not set, nothing when it cannot be
    // read (the window is already gone: the error handler ignores that).
    std::optional<std::string> property(Window win, Atom name, Atom type)
    {
        Atom actual = None;
        int format = 0;
        unsigned long count = 0;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(dpy_, win, name, 0, 4096, False, type, &actual, &format, &count, &after, &data) !=
            Success) {
            return std::nullopt;
        }
        if (actual == None) {
            return "";
        }
        // Xlib hands 32-bit items over as longs.
        const size_t item = format == 32 ? sizeof(long) : static_cast<size_t>(format) / 8;
        std::string value(reinterpret_cast<char*>(data), count * item);
        XFree(data);
        return value;
    }

    // Reads what the checks need, keeping what was known where a read fails.
    void refresh(Window win, Seen& w, double t, bool stamped)
    {
        if (const auto pid = property(win, net_wm_pid_, XA_CARDINAL); pid && pid->size() >= sizeof(long)) {
            std::memcpy(&w.pid, pid->data(), sizeof(long));
        }
        const auto wm_name = property(win, XA_WM_NAME, AnyPropertyType);
        const auto net_wm_name = property(win, net_wm_name_, utf8_);
        const auto icon_name = property(win, XA_WM_ICON_NAME, AnyPropertyType);
        const auto net_icon_name = property(win, net_wm_icon_name_, utf8_);
        if (!wm_name || !net_wm_name || !icon_name || !net_icon_name) {
            return;
        }
        w.wm_name = *wm_name;
        w.net_wm_name = *net_wm_name;
        w.icon_name = icon_name->empty() ? *net_icon_name : *icon_name;
        if (w.captioned < 0 && w.wm_name == caption_) {
            w.captioned = t;
            w.caption_stamped = stamped;
            if (first_caption < 0) {
                first_caption = t;
            }
        }
    }

    Display* dpy_;
    std::string caption_;
    Atom net_wm_pid_ = XInternAtom(dpy_, "_NET_WM_PID", False);
    Atom net_wm_name_ = XInternAtom(dpy_, "_NET_WM_NAME", False);
    Atom net_wm_icon_name_ = XInternAtom(dpy_, "_NET_WM_ICON_NAME", False);
    Atom utf8_ = XInternAtom(dpy_, "UTF8_STRING", False);
    Atom protocols_ = XInternAtom(dpy_, "WM_PROTOCOLS", False);
    Atom delete_window_ = XInternAtom(dpy_, "WM_DELETE_WINDOW", False);
};

int ignore_x_errors(Display* /*display*/, XErrorEvent* /*error*/)
{
    return 0;
}

// CPU time a running process has used so far, in ms: all its threads, and
// its main thread alone.
std::pair<double, double> cpu_so_far(pid_t pid)
{
    double total = 0;
    double main_thread = 0;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task/";
    if (DIR* dir = opendir(tasks.c_str())) {
        while (const dirent* task = readdir(dir)) {
            std::ifstream stat(tasks + task->d_name + "/schedstat");
            double ns = 0;
            if (task->d_name[0] != '.' && stat >> ns) {
                total += ns / 1e6;
                if (std::to_string(pid) == task->d_name) {
                    main_thread = ns / 1e6;
                }
            }
        }
        closedir(dir);
    }
    return {total, main_thread};
}

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

pid_t start(const Options& o, int& out_fd)
{
    std::array<int, 2> fds{-1, -1};
    if (o.stdout_mode == "pipe" && pipe2(fds.data(), O_CLOEXEC) != 0) {
        die("pipe failed");
    }
    const pid_t pid = fork();
    if (pid < 0) {
        die("fork failed");
    }
    if (pid == 0) {
        if (o.stdout_mode == "pipe") {
            dup2(fds[1], STDOUT_FILENO);
        } else if (o.stdout_mode == "closed") {
            close(STDOUT_FILENO);
        } else if (o.stdout_mode == "full") {
            dup2(open("/dev/full", O_WRONLY), STDOUT_FILENO);
        }
        for (const auto& name : o.unset) {
            unsetenv(name.c_str());
        }
        execvp(o.command[0], o.command.data());
        std::fprintf(stderr, "window_probe: cannot run %s: %s\n", o.command[0], std::strerror(errno));
        _exit(127);
    }
    if (o.stdout_mode == "pipe") {
        close(fds[1]);
        out_fd = fds[0];
    }
    return pid;
}

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

bool ours(const Options& o, const Run& r, const Seen& w)
{
    return o.any_client || w.pid == r.pid;
}

// Runs the program to its end, carrying out the timed actions, then gives the
// server a moment to report the windows it removed on the program's behalf.
Run watch_run(const Options& o, Display* dpy, Watcher& watch)
{
    Run r;
    int out_fd = -1;
    const double t0 = r.t0 = now_ms();
    r.pid = start(o, out_fd);
    const int pid_fd = static_cast<int>(syscall(SYS_pidfd_open, r.pid, 0));
    if (pid_fd < 0) {
        die("pidfd_open failed");
    }
    bool closed = false;
    bool signalled = false;
    bool server_killed = false;
    bool x_alive = true;
    double next_look = 0;

    for (;;) {
        const double t = now_ms() - t0;
        if (r.exited >= 0) {
            const bool all_gone = std::all_of(watch.windows.begin(), watch.windows.end(), [&](const auto& w) {
                return !ours(o, r, w.second) || w.second.gone >= 0;
            });
            if (all_gone || t - r.exited > 200 || !x_alive) {
                break;
            }
        } else if (t > o.timeout) {
            kill(r.pid, SIGKILL);
        }

        // The next moment something is due: a timed action, or a check-up.
        double due = t + 100;
        // Which SDL it runs on, looked up now and then while no event waits.
        if (r.exited < 0 && t >= next_look && (!x_alive || XPending(dpy) == 0)) {
            r.stack.look(r.pid);
            next_look = t + 100;
        }
        if (watch.first_caption >= 0 && r.exited < 0) {
            const double since = t - watch.first_caption;
            const bool held = std::any_of(watch.windows.begin(), watch.windows.end(), [&](const auto& w) {
                return ours(o, r, w.second) && w.second.captioned >= 0 && w.second.gone < 0;
            });
            if (held) {
                r.cpu_last = cpu_so_far(r.pid);
                if (r.cpu_at_caption.first < 0) {
                    r.cpu_at_caption = r.cpu_last;
                }
            }
            auto act = [&](const std::optional<double>& after, bool& done, auto&& action) {
                if (!after || done) {
                    return;
                }
                if (since >= *after) {
                    action();
                    done = true;
                } else {
                    due = std::min(due, watch.first_caption + *after);
                }
            };
            act(o.close_after, closed, [&] {
                for (const auto& [id, w] : watch.windows) {
                    if (ours(o, r, w) && w.captioned >= 0 && w.gone < 0) {
                        watch.send_delete(id);
                    }
                }
            });
            act(o.signal_after ? std::optional<double>(o.signal_after->second) : std::nullopt, signalled,
                [&] { kill(r.pid, o.signal_after->first); });
            // With its server gone the probe's display is dead too: no more X calls.
            act(o.kill_server_after, server_killed, [&] {
                kill(static_cast<pid_t>(std::stol(first_line(o.server_pid_file))), SIGKILL);
                x_alive = false;
            });
        }

        std::array<pollfd, 3> fds{{{x_alive ? ConnectionNumber(dpy) : -1, POLLIN, 0},
                                   {r.exited < 0 ? pid_fd : -1, POLLIN, 0},
                                   {out_fd, POLLIN, 0}}};
        if (x_alive && XPending(dpy) > 0) {
            fds[0].revents = POLLIN;
        } else {
            poll(fds.data(), fds.size(), std::max(0, static_cast<int>(due - t)));
        }

        if ((fds[0].revents & (POLLHUP | POLLERR)) != 0) {
            x_alive = false;
        } else if (fds[0].revents != 0) {
            const double te = now_ms() - t0;
            while (XPending(dpy) > 0) {
                XEvent e;
                XNextEvent(dpy, &e);
                watch.handle(e, te, t0);
            }
        }
        if (fds[2].revents != 0) {
            std::array<char, 4096> buf{};
            const ssize_t n = read(out_fd, buf.data(), buf.size());
            if (n > 0) {
                r.output.append(buf.data(), static_cast<size_t>(n));
            } else {
                close(out_fd);
                out_fd = -1;
            }
        }
        if (fds[1].revents != 0) {
            r.exited = now_ms() - t0;
            wait4(r.pid, &r.wstatus, 0, &r.usage);
            if (x_alive) {
                XSync(dpy, False);
            }
        }
    }
    return r;
}

}  // namespace

int main(int argc, char** argv)
{
    const Options o = parse(argc, argv);
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

    Watcher watch(dpy, o.caption);
    const Run r = watch_run(o, dpy, watch);

    // The program's windows, and the one judged: the first captioned.
    int own = 0;
    int captioned = 0;
    const Seen* shown = nullptr;
    for (const auto& [id, w] : watch.windows) {
        if (!ours(o, r, w)) {
            continue;
        }
        ++own;
        if (w.captioned >= 0) {
            ++captioned;
            if (shown == nullptr) {
                shown = &w;
            }
        }
    }

    const int status = WIFEXITED(r.wstatus) ? WEXITSTATUS(r.wstatus) : -1;
    const int signal = WIFSIGNALED(r.wstatus) ? WTERMSIG(r.wstatus) : 0;
    std::printf(R"({"status":%d,"signal":%d,"core":%s,"stdout":%s,"windows":%d,"captioned":%d)", status, signal,
                WCOREDUMP(r.wstatus) ? "true" : "false", json(r.output).c_str(), own, captioned);
    if (shown != nullptr) {
        std::printf(R"(,"created":%.1f,"mapped":%.1f,"caption":%.1f,"gone":%.1f,"width":%d,"height":%d)",
                    shown->created, shown->mapped, shown->captioned, shown->gone, shown->width, shown->height);
        std::printf(R"(,"wm_name":%s,"net_wm_name":%s,"icon_name":%s)", json(shown->wm_name).c_str(),
                    json(shown->net_wm_name).c_str(), json(shown->icon_name).c_str());
        if (shown->gone >= 0) {  // unknown when the server died first
            std::printf(R"(,"hold":%.1f,"caption_stamped":%s,"gone_to_exit":%.1f,"hold_cpu_ms":%.2f)"
                        R"(,"hold_cpu_main_thread_ms":%.2f)",
                        shown->gone - shown->captioned, shown->caption_stamped ? "true" : "false",
                        r.exited - shown->gone, r.cpu_last.first - r.cpu_at_caption.first,
                        r.cpu_last.second - r.cpu_at_caption.second);
        }
    }
    std::printf(R"(,"all":[)");
    const char* sep = "";
    for (const auto& [id, w] : watch.windows) {
        if (ours(o, r, w)) {
            std::printf(R"(%s{"created":%.1f,"mapped":%.1f,"caption":%.1f,"gone":%.1f,"size":"%dx%d","name":%s})", sep,
                        w.created, w.mapped, w.captioned, w.gone, w.width, w.height, json(w.wm_name).c_str());
            sep = ",";
        }
    }
    std::printf(R"(],"t0":%.3f,"exit":%.1f,"user_ms":%.1f,"sys_ms":%.1f,"maxrss_kb":%ld,"library":%s,"stack":%s})"
                "\n",
                r.t0, r.exited, ms(r.usage.ru_utime), ms(r.usage.ru_stime), r.usage.ru_maxrss,
                json(r.stack.library).c_str(), json(r.stack.name()).c_str());
    std::fflush(stdout);

    int broken = 0;
    auto expect = [&](bool ok, const std::string& what) {
        if (!ok) {
            std::fprintf(stderr, "window_probe: expected %s\n", what.c_str());
            ++broken;
        }
    };
    auto num = [](double v) { return std::to_string(static_cast<long>(v)); };
    if (o.status) {
        expect(status == *o.status, "exit status " + std::to_string(*o.status) + ", got " +
                                        (signal != 0 ? "signal " + std::to_string(signal) : std::to_string(status)));
    }
    if (o.output) {
        expect(r.output == *o.output, "standard output " + json(*o.output) + ", got " + json(r.output));
    }
    if (o.output_has) {
        expect(r.output.find(*o.output_has) != std::string::npos,
               "standard output holding " + json(*o.output_has) + ", got " + json(r.output.substr(0, 200)));
    }
    if (o.no_window) {
        expect(own == 0, "no window, got " + std::to_string(own));
    }
    if (o.window) {
        expect(captioned == 1, "one window captioned '" + o.caption + "', got " + std::to_string(captioned));
    }
    if (o.window && shown != nullptr) {
        const auto [width, height] = *o.window;
        expect(shown->width == width && shown->height == height,
               "a " + num(width) + "x" + num(height) + " window, got " + num(shown->width) + "x" + num(shown->height));
        expect(shown->mapped >= 0, "the window to be mapped");
        expect(shown->net_wm_name.empty() || shown->net_wm_name == o.caption,
               "_NET_WM_NAME " + json(o.caption) + ", got " + json(shown->net_wm_name));
        expect(shown->icon_name == o.icon_name, "icon name " + json(o.icon_name) + ", got " + json(shown->icon_name));
        expect(shown->gone >= 0 && shown->gone <= r.exited, "the window gone before the program exited");
    }
    if (o.hold && shown != nullptr) {
        const double hold = shown->gone - (o.hold_from_map ? shown->mapped : shown->captioned);
        expect(hold >= o.hold->first && hold <= o.hold->second,
               "a hold of " + num(o.hold->first) + ".." + num(o.hold->second) + " ms, got " + std::to_string(hold));
    }
    if (o.exit_within) {
        expect(r.exited <= *o.exit_within,
               "an exit within " + num(*o.exit_within) + " ms, got " + std::to_string(r.exited));
    }
    if (o.exit_after) {
        expect(r.exited >= *o.exit_after,
               "an exit no sooner than " + num(*o.exit_after) + " ms, got " + std::to_string(r.exited));
    }
    if (o.stack) {
        expect(r.stack.name() == *o.stack, "the SDL stack " + json(*o.stack) + ", got " + json(r.stack.name()));
    }
    for (const auto& path : o.absent) {
        expect(access(path.c_str(), F_OK) != 0, "no file " + path);
    }
    for (const auto& [path, text] : o.files) {
        const bool exists = access(path.c_str(), F_OK) == 0;
        expect(exists && slurp(path) == text,
               path + " holding " + json(text) + ", got " + (exists ? json(slurp(path)) : "no file"));
    }
    if (!o.kill_server_after) {
        XCloseDisplay(dpy);
    }
    return broken == 0 ? 0 : 1;
}
