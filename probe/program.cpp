// SPDX-License-Identifier: Zlib
#include "program.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "common.h"

namespace probe {
namespace {

// CPU time a running process has used so far, in ms, from each thread's
// schedstat (the time it ran, then the time it waited to run).
Cpu cpu_so_far(pid_t pid)
{
    Cpu cpu{0, 0, 0};
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task/";
    if (DIR* dir = opendir(tasks.c_str())) {
        while (const dirent* task = readdir(dir)) {
            std::ifstream stat(tasks + task->d_name + "/schedstat");
            double ran = 0;
            double waited = 0;
            if (task->d_name[0] != '.' && stat >> ran >> waited) {
                cpu.total += ran / 1e6;
                if (std::to_string(pid) == task->d_name) {
                    cpu.main_thread = ran / 1e6;
                    cpu.main_waited = waited / 1e6;
                }
            }
        }
        closedir(dir);
    }
    return cpu;
}

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

}  // namespace

bool ours(const Options& o, const Run& r, const Seen& w)
{
    return o.any_client || w.pid == r.pid;
}

Run watch_run(const Options& o, Display* dpy, Watcher& watch)
{
    Run r;
    int out_fd = -1;
    int open_fd = -1;
    if (!o.started_by.empty()) {
        open_fd = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
        if (open_fd < 0 || inotify_add_watch(open_fd, o.started_by.c_str(), IN_OPEN) < 0) {
            die("cannot watch " + o.started_by + " being opened");
        }
    }
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
    double next_beat = 0;
    double next_cpu = 0;

    for (;;) {
        const double t = now_ms() - t0;
        if (r.exited >= 0) {
            const bool all_gone = std::all_of(watch.windows.begin(), watch.windows.end(), [&](const auto& w) {
                return !ours(o, r, w.second) || w.second.gone >= 0;
            });
            if (all_gone || t - r.exited > gone_after_exit || !x_alive) {
                break;
            }
        } else if (t > o.timeout) {
            kill(r.pid, SIGKILL);
        }

        // The next moment something is due: a timed action, or a check-up.
        double due = t + 100;
        // A fresh server stamp every few milliseconds until the program's
        // window has been mapped and captioned, so that each has one just
        // before it.
        const bool stamped = std::any_of(watch.windows.begin(), watch.windows.end(), [&](const auto& w) {
            return ours(o, r, w.second) && w.second.mapped >= 0 && w.second.captioned >= 0;
        });
        if (r.exited < 0 && x_alive && !stamped) {
            if (t >= next_beat) {
                watch.beat();
                next_beat = t + beat_interval;
            }
            due = std::min(due, next_beat);
        }
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
            if (held && (r.cpu_at_caption.total < 0 || t >= next_cpu)) {
                next_cpu = t + 100;
                r.cpu_last = cpu_so_far(r.pid);
                if (r.cpu_at_caption.total < 0) {
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

        std::array<pollfd, 4> fds{{{x_alive ? ConnectionNumber(dpy) : -1, POLLIN, 0},
                                   {r.exited < 0 ? pid_fd : -1, POLLIN, 0},
                                   {out_fd, POLLIN, 0},
                                   {r.started < 0 ? open_fd : -1, POLLIN, 0}}};
        if (x_alive && XPending(dpy) > 0) {
            fds[0].revents = POLLIN;
        } else {
            poll(fds.data(), fds.size(), std::max(0, static_cast<int>(due - t)));
        }

        if ((fds[0].revents & (POLLHUP | POLLERR)) != 0) {
            x_alive = false;
        } else if (fds[0].revents != 0) {
            // Each event is timed as it is taken from the queue, never before
            // it came: handling one makes round trips, and events that arrive
            // meanwhile (other programs' windows on a shared server among them)
            // once got the earlier time, and a hold measured 2992 ms.
            while (XPending(dpy) > 0) {
                XEvent e;
                XNextEvent(dpy, &e);
                watch.handle(e, now_ms() - t0, t0);
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
        if (fds[3].revents != 0) {
            r.started = now_ms() - t0;
            close(open_fd);
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

double hold_start(const Options& o, const Seen& w)
{
    return std::max(0.0, o.hold_from_shown ? w.mapped_early : w.captioned_early);
}

double hold_waited(const Run& r)
{
    return r.cpu_at_caption.main_waited < 0 ? 0 : r.cpu_last.main_waited - r.cpu_at_caption.main_waited;
}

double program_start(const Options& o, const Run& r)
{
    return o.started_by.empty() ? 0 : r.started;
}

Windows tally(const Options& o, const Run& r, const WindowLog& windows)
{
    Windows t;
    for (const auto& [id, w] : windows) {
        if (!ours(o, r, w)) {
            continue;
        }
        ++t.own;
        if (w.captioned >= 0) {
            ++t.captioned;
            if (t.shown == nullptr) {
                t.shown = &w;
            }
        }
    }
    return t;
}

}  // namespace probe
