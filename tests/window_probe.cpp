// window_probe: start a program under an X server and watch, from outside,
// what it does with its top-level windows.
//
//   window_probe [options] -- PROGRAM [ARGS...]
//
// The probe listens on the root window before the program starts, so it sees
// every top-level window the program creates, names, maps and removes, and it
// tells the program's windows from other clients' by their _NET_WM_PID. It
// prints one JSON line of measurements (milliseconds since the program was
// started) and, when expectations are given, checks them and exits 1 on the
// first broken one.
//
// Options:
// Every option may also be written --option=VALUE.
//   --display-file F   read the display name from F (as written by Xvfb -displayfd)
//   --caption TEXT     the window title to judge by (default "Quorvantel")
//   --close-after MS   send WM_DELETE_WINDOW to the captioned window MS after its caption
//   --signal SIG:MS    send signal SIG (INT, TERM, ...) to the program MS after the caption
//   --kill-server MS   kill the X server (pid from --server-pid F) MS after the caption
//   --server-pid F     file holding the X server's pid
//   --stdout MODE      the program's standard output: pipe (default), closed, full
//   --timeout MS       kill the program if it runs longer (default 30000)
// Expectations:
//   --status N         exits normally with status N
//   --output TEXT      writes exactly TEXT to standard output
//   --window W:H       shows exactly one captioned W x H window, titled in WM_NAME (and
//                      _NET_WM_NAME where set), with no icon name, gone before the exit
//   --no-window        shows no window at all
//   --hold MIN:MAX     the captioned window stays MIN..MAX ms after its caption
//   --exit-within MS   the program has exited MS after its start
//   --library TEXT     the SDL library mapped into the program contains TEXT
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
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

struct Options {
    std::string display_file;
    std::string caption = "Quorvantel";
    std::optional<double> close_after;
    std::optional<std::pair<int, double>> signal_after;
    std::optional<double> kill_server_after;
    std::string server_pid_file;
    std::string stdout_mode = "pipe";
    double timeout = 30000;

    std::optional<int> status;
    std::optional<std::string> output;
    std::optional<std::pair<int, int>> window;
    bool no_window = false;
    std::optional<std::pair<double, double>> hold;
    std::optional<double> exit_within;
    std::optional<std::string> library;

    std::vector<char*> command;
};

std::pair<std::string, std::string> parse_pair_text(const std::string& text)
{
    const auto colon = text.find(':');
    if (colon == std::string::npos) {
        die("expected A:B, got '" + text + "'");
    }
    return {text.substr(0, colon), text.substr(colon + 1)};
}

std::pair<double, double> parse_pair(const std::string& text)
{
    const auto pair = parse_pair_text(text);
    return {std::stod(pair.first), std::stod(pair.second)};
}

int parse_signal(const std::string& name)
{
    static const std::map<std::string, int> names{
        {"INT", SIGINT}, {"TERM", SIGTERM}, {"HUP", SIGHUP}, {"QUIT", SIGQUIT}, {"KILL", SIGKILL}};
    const auto it = names.find(name);
    if (it == names.end()) {
        die("unknown signal '" + name + "'");
    }
    return it->second;
}

Options parse(int argc, char** argv)
{
    Options o;
    int i = 1;
    for (; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--") {
            ++i;
            break;
        }
        // Both "--flag value" and "--flag=value" are understood.
        std::optional<std::string> inline_value;
        if (const auto eq = a.find('='); a.rfind("--", 0) == 0 && eq != std::string::npos) {
            inline_value = a.substr(eq + 1);
            a.resize(eq);
        }
        auto value = [&]() -> std::string {
            if (inline_value) {
                return *inline_value;
            }
            if (i + 1 >= argc) {
                die(a + " needs a value");
            }
            return argv[++i];
        };
        if (a == "--display-file") {
            o.display_file = value();
        } else if (a == "--caption") {
            o.caption = value();
        } else if (a == "--close-after") {
            o.close_after = std::stod(value());
        } else if (a == "--signal") {
            const auto sig = parse_pair_text(value());
            o.signal_after = {{parse_signal(sig.first), std::stod(sig.second)}};
        } else if (a == "--kill-server") {
            o.kill_server_after = std::stod(value());
        } else if (a == "--server-pid") {
            o.server_pid_file = value();
        } else if (a == "--stdout") {
            o.stdout_mode = value();
        } else if (a == "--timeout") {
            o.timeout = std::stod(value());
        } else if (a == "--status") {
            o.status = std::stoi(value());
        } else if (a == "--output") {
            o.output = value();
        } else if (a == "--window") {
            const auto wh = parse_pair(value());
            o.window = {{static_cast<int>(wh.first), static_cast<int>(wh.second)}};
        } else if (a == "--no-window") {
            o.no_window = true;
        } else if (a == "--hold") {
            o.hold = parse_pair(value());
        } else if (a == "--exit-within") {
            o.exit_within = std::stod(value());
        } else if (a == "--library") {
            o.library = value();
        } else {
            die("unknown option '" + a + "'");
        }
    }
    for (; i < argc; ++i) {
        o.command.push_back(argv[i]);
    }
    if (o.command.empty()) {
        die("usage: window_probe [options] -- PROGRAM [ARGS...]");
    }
    o.command.push_back(nullptr);
    return o;
}

std::string read_first_line(const std::string& path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
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
    bool icon_name = false;
};

class Watcher {
public:
    explicit Watcher(Display* d) : dpy_(d)
    {
        net_wm_pid_ = XInternAtom(dpy_, "_NET_WM_PID", False);
        net_wm_name_ = XInternAtom(dpy_, "_NET_WM_NAME", False);
        net_wm_icon_name_ = XInternAtom(dpy_, "_NET_WM_ICON_NAME", False);
        utf8_ = XInternAtom(dpy_, "UTF8_STRING", False);
        protocols_ = XInternAtom(dpy_, "WM_PROTOCOLS", False);
        delete_window_ = XInternAtom(dpy_, "WM_DELETE_WINDOW", False);
        XSelectInput(dpy_, DefaultRootWindow(dpy_), SubstructureNotifyMask);
        XSync(dpy_, False);
    }

    std::map<Window, Seen> windows;

    void handle(const XEvent& e, double t, const std::string& caption, double& caption_time)
    {
        switch (e.type) {
        case CreateNotify: {
            if (e.xcreatewindow.parent != DefaultRootWindow(dpy_)) {
                break;
            }
            Seen& w = windows[e.xcreatewindow.window];
            w.created = t;
            w.width = e.xcreatewindow.width;
            w.height = e.xcreatewindow.height;
            XSelectInput(dpy_, e.xcreatewindow.window, PropertyChangeMask | StructureNotifyMask);
            // Properties set before the selection took effect raised no event.
            refresh(e.xcreatewindow.window, w, t, caption, caption_time);
            break;
        }
        case PropertyNotify:
            if (auto it = windows.find(e.xproperty.window); it != windows.end()) {
                refresh(it->first, it->second, t, caption, caption_time);
            }
            break;
        case ConfigureNotify:
            if (auto it = windows.find(e.xconfigure.window); it != windows.end() && it->second.gone < 0) {
                it->second.width = e.xconfigure.width;
                it->second.height = e.xconfigure.height;
            }
            break;
        case MapNotify:
            if (auto it = windows.find(e.xmap.window); it != windows.end() && it->second.mapped < 0) {
                it->second.mapped = t;
            }
            break;
        case UnmapNotify:
        case DestroyNotify:
            if (auto it = windows.find(e.xany.window);
                it != windows.end() && it->second.gone < 0 && (e.type == DestroyNotify || it->second.mapped >= 0)) {
                it->second.gone = t;
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
    std::optional<std::string> text(Window win, Atom property, Atom type)
    {
        Atom actual = None;
        int format = 0;
        unsigned long count = 0;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(dpy_, win, property, 0, 4096, False, type, &actual, &format, &count, &after, &data) !=
                Success ||
            actual == None) {
            return std::nullopt;
        }
        // Xlib hands 32-bit items over as longs.
        const size_t item = format == 32 ? sizeof(long) : static_cast<size_t>(format) / 8;
        std::string value(reinterpret_cast<char*>(data), count * item);
        XFree(data);
        return value;
    }

    void refresh(Window win, Seen& w, double t, const std::string& caption, double& caption_time)
    {
        // A window that is already gone makes these requests fail; ignore that.
        if (auto pid = text(win, net_wm_pid_, XA_CARDINAL); pid && pid->size() >= sizeof(long)) {
            std::memcpy(&w.pid, pid->data(), sizeof(long));
        }
        w.wm_name = text(win, XA_WM_NAME, AnyPropertyType).value_or("");
        w.net_wm_name = text(win, net_wm_name_, utf8_).value_or("");
        w.icon_name =
            text(win, XA_WM_ICON_NAME, AnyPropertyType).has_value() || text(win, net_wm_icon_name_, utf8_).has_value();
        if (w.captioned < 0 && w.wm_name == caption) {
            w.captioned = t;
            if (caption_time < 0) {
                caption_time = t;
            }
        }
    }

    Display* dpy_;
    Atom net_wm_pid_, net_wm_name_, net_wm_icon_name_, utf8_, protocols_, delete_window_;
};

int ignore_x_errors(Display* /*unused*/, XErrorEvent* /*unused*/)
{
    return 0;
}

std::string mapped_sdl(pid_t pid)
{
    std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
    std::string line;
    while (std::getline(maps, line)) {
        if (line.find("libSDL-1.2") != std::string::npos) {
            return line.substr(line.find('/'));
        }
    }
    return "";
}

std::string json_string(const std::string& s)
{
    std::string out = "\"";
    for (const unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7f) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

pid_t start(const Options& o, int& out_fd)
{
    int fds[2] = {-1, -1};
    if (o.stdout_mode == "pipe" && pipe2(fds, O_CLOEXEC) != 0) {
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
            const int full = open("/dev/full", O_WRONLY);
            dup2(full, STDOUT_FILENO);
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

}  // namespace

int main(int argc, char** argv)
{
    const Options o = parse(argc, argv);
    if (!o.display_file.empty()) {
        const std::string display = read_first_line(o.display_file);
        setenv("DISPLAY", (display.find(':') == std::string::npos ? ":" + display : display).c_str(), 1);
    }
    Display* dpy = XOpenDisplay(nullptr);
    if (dpy == nullptr) {
        die("cannot open display");
    }
    XSetErrorHandler(ignore_x_errors);
    Watcher watch(dpy);

    int out_fd = -1;
    const double t0 = now_ms();
    const pid_t pid = start(o, out_fd);
    const int pid_fd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (pid_fd < 0) {
        die("pidfd_open failed");
    }

    std::string output;
    std::string library;
    double caption_time = -1;
    double exited = -1;
    bool closed = false;
    bool signalled = false;
    bool server_killed = false;
    bool x_alive = true;
    int wstatus = 0;
    rusage usage{};

    // Run until the program has exited, then give the server a moment to
    // report the windows it removed on the program's behalf.
    for (;;) {
        const double t = now_ms() - t0;
        if (exited >= 0) {
            bool all_gone = true;
            for (const auto& [id, w] : watch.windows) {
                all_gone = all_gone && (w.pid != pid || w.gone >= 0);
            }
            if (all_gone || t - exited > 200 || !x_alive) {
                break;
            }
        }
        if (exited < 0 && t > o.timeout) {
            kill(pid, SIGKILL);
        }
        if (caption_time >= 0) {
            const double since = t - caption_time;
            if (library.empty()) {
                library = mapped_sdl(pid);
            }
            if (o.close_after && !closed && since >= *o.close_after) {
                for (const auto& [id, w] : watch.windows) {
                    if (w.captioned >= 0 && w.gone < 0) {
                        watch.send_delete(id);
                    }
                }
                closed = true;
            }
            if (o.signal_after && !signalled && since >= o.signal_after->second) {
                kill(pid, o.signal_after->first);
                signalled = true;
            }
            if (o.kill_server_after && !server_killed && since >= *o.kill_server_after) {
                kill(static_cast<pid_t>(std::stol(read_first_line(o.server_pid_file))), SIGKILL);
                server_killed = true;
            }
        }

        pollfd fds[3] = {{x_alive ? ConnectionNumber(dpy) : -1, POLLIN, 0},
                         {exited < 0 ? pid_fd : -1, POLLIN, 0},
                         {out_fd, POLLIN, 0}};
        if (x_alive && XPending(dpy) > 0) {
            fds[0].revents = POLLIN;
        } else {
            poll(fds, 3, 1);
        }

        if ((fds[0].revents & (POLLHUP | POLLERR)) != 0) {
            x_alive = false;
        } else if (fds[0].revents != 0) {
            const double te = now_ms() - t0;
            while (XPending(dpy) > 0) {
                XEvent e;
                XNextEvent(dpy, &e);
                watch.handle(e, te, o.caption, caption_time);
            }
        }
        if (fds[2].revents != 0) {
            char buf[4096];
            const ssize_t n = read(out_fd, buf, sizeof buf);
            if (n > 0) {
                output.append(buf, static_cast<size_t>(n));
            } else {
                close(out_fd);
                out_fd = -1;
            }
        }
        if (fds[1].revents != 0) {
            exited = now_ms() - t0;
            wait4(pid, &wstatus, 0, &usage);
            if (x_alive) {
                XSync(dpy, False);
            }
        }
    }

    // The program's windows, and the one judged: the first captioned.
    int own = 0;
    const Seen* shown = nullptr;
    int captioned = 0;
    for (const auto& [id, w] : watch.windows) {
        if (w.pid != pid) {
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

    const double user = ms(usage.ru_utime);
    const double sys = ms(usage.ru_stime);
    const int status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    const int signal = WIFSIGNALED(wstatus) ? WTERMSIG(wstatus) : 0;
    std::printf("{\"status\":%d,\"signal\":%d,\"core\":%s,\"stdout\":%s,\"windows\":%d,\"captioned\":%d", status,
                signal, WCOREDUMP(wstatus) ? "true" : "false", json_string(output).c_str(), own, captioned);
    if (shown != nullptr) {
        std::printf(",\"created\":%.1f,\"mapped\":%.1f,\"caption\":%.1f,\"gone\":%.1f,\"width\":%d,\"height\":%d,"
                    "\"wm_name\":%s,\"net_wm_name\":%s,\"icon_name\":%s,\"hold\":%.1f,\"gone_to_exit\":%.1f",
                    shown->created, shown->mapped, shown->captioned, shown->gone, shown->width, shown->height,
                    json_string(shown->wm_name).c_str(), json_string(shown->net_wm_name).c_str(),
                    shown->icon_name ? "true" : "false", shown->gone - shown->captioned, exited - shown->gone);
    }
    std::printf(",\"exit\":%.1f,\"user_ms\":%.1f,\"sys_ms\":%.1f,\"maxrss_kb\":%ld,\"library\":%s}\n", exited, user,
                sys, usage.ru_maxrss, json_string(library).c_str());
    std::fflush(stdout);

    // Expectations: report every broken one.
    int broken = 0;
    auto expect = [&](bool ok, const std::string& what) {
        if (!ok) {
            std::fprintf(stderr, "window_probe: expected %s\n", what.c_str());
            ++broken;
        }
    };
    if (o.status) {
        expect(status == *o.status, "exit status " + std::to_string(*o.status) + ", got " +
                                        (signal != 0 ? "signal " + std::to_string(signal) : std::to_string(status)));
    }
    if (o.output) {
        expect(output == *o.output, "standard output " + json_string(*o.output) + ", got " + json_string(output));
    }
    if (o.no_window) {
        expect(own == 0, "no window, got " + std::to_string(own));
    }
    if (o.window) {
        expect(captioned == 1, "one window captioned '" + o.caption + "', got " + std::to_string(captioned));
        if (shown != nullptr) {
            std::ostringstream size;
            size << "a " << o.window->first << "x" << o.window->second << " window, got " << shown->width << "x"
                 << shown->height;
            expect(shown->width == o.window->first && shown->height == o.window->second, size.str());
            expect(shown->mapped >= 0, "the captioned window to be mapped");
            expect(shown->net_wm_name.empty() || shown->net_wm_name == o.caption,
                   "_NET_WM_NAME '" + o.caption + "', got '" + shown->net_wm_name + "'");
            expect(!shown->icon_name, "no icon name");
            expect(shown->gone >= 0 && shown->gone <= exited, "the window gone before the program exited");
        }
    }
    if (o.hold && shown != nullptr) {
        const double hold = shown->gone - shown->captioned;
        expect(hold >= o.hold->first && hold <= o.hold->second, "a hold of " + std::to_string(o.hold->first) + ".." +
                                                                    std::to_string(o.hold->second) + " ms, got " +
                                                                    std::to_string(hold));
    }
    if (o.exit_within) {
        expect(exited <= *o.exit_within,
               "an exit within " + std::to_string(*o.exit_within) + " ms, got " + std::to_string(exited));
    }
    if (o.library) {
        expect(library.find(*o.library) != std::string::npos, "SDL from '" + *o.library + "', got '" + library + "'");
    }
    XCloseDisplay(dpy);
    return broken == 0 ? 0 : 1;
}
