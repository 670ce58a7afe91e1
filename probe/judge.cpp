// SPDX-License-Identifier: Zlib
#include "judge.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "common.h"

namespace probe {

int judge(const Options& o, const Run& r, const WindowLog& windows)
{
    const Windows t = tally(o, r, windows);
    const int status = WIFEXITED(r.wstatus) ? WEXITSTATUS(r.wstatus) : -1;
    const int signal = WIFSIGNALED(r.wstatus) ? WTERMSIG(r.wstatus) : 0;
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
        expect(t.own == 0, "no window, got " + std::to_string(t.own));
    }
    if (o.window) {
        expect(t.captioned == 1, "one window captioned '" + o.caption + "', got " + std::to_string(t.captioned));
    }
    if (o.window && t.shown != nullptr) {
        const auto [width, height] = *o.window;
        expect(t.shown->width == width && t.shown->height == height, "a " + num(width) + "x" + num(height) +
                                                                         " window, got " + num(t.shown->width) + "x" +
                                                                         num(t.shown->height));
        expect(t.shown->mapped >= 0, "the window to be mapped");
        expect(t.shown->net_wm_name.empty() || t.shown->net_wm_name == o.caption,
               "_NET_WM_NAME " + json(o.caption) + ", got " + json(t.shown->net_wm_name));
        expect(t.shown->icon_name == o.icon_name,
               "icon name " + json(o.icon_name) + ", got " + json(t.shown->icon_name));
        expect(t.shown->gone >= 0 && (o.gone_at_exit || t.shown->gone_early <= r.exited),
               "the window gone before the program exited");
        if (o.wm_class) {
            const std::string& seen = t.shown->wm_class;
            expect(seen.substr(seen.find('/') + 1) == *o.wm_class,
                   "the WM_CLASS class " + json(*o.wm_class) + ", got " + json(seen));
        }
        if (o.shell) {
            expect(t.shown->shell == *o.shell,
                   "the window shown through " + *o.shell + ", got " + json(t.shown->shell));
        }
        if (!o.save_icon.empty()) {
            expect(!t.shown->icon.empty(), "an icon in _NET_WM_ICON");
        }
    }
    if (o.hold && t.shown != nullptr) {
        // At least MIN from an instant no later than the hold's start: the
        // server's stamp just before the caption, or before the mapping where
        // the caption may reach the server after the hold began; at most MAX
        // from the caption, which the program sets before it sleeps, less the
        // time its main thread waited for a CPU meanwhile: a busy machine's
        // time, where a hold twice as long is asleep.
        const double from = hold_start(o, *t.shown);
        const double hold = t.shown->gone - from;
        const double after_caption =
            t.shown->gone - (t.shown->captioned >= 0 ? t.shown->captioned : from) - hold_waited(r);
        expect(hold >= o.hold->first && after_caption <= o.hold->second,
               "a hold of " + num(o.hold->first) + ".." + num(o.hold->second) + " ms, got " + std::to_string(hold) +
                   " (" + std::to_string(after_caption) + " after the caption, less " + std::to_string(hold_waited(r)) +
                   " waiting for a CPU)");
    }
    const double started = program_start(o, r);
    if (!o.started_by.empty()) {
        expect(started >= 0, o.started_by + " opened by the program");
    }
    if (o.exit_within && started >= 0) {
        expect(r.exited - started <= *o.exit_within,
               "an exit within " + num(*o.exit_within) + " ms of the start, got " + std::to_string(r.exited - started));
    }
    if (o.exit_after && started >= 0) {
        expect(r.exited - started >= *o.exit_after, "an exit no sooner than " + num(*o.exit_after) +
                                                        " ms after the start, got " +
                                                        std::to_string(r.exited - started));
    }
    if (o.stack) {
        const auto& [name, libraries] = *o.stack;
        expect(r.stack.libraries == libraries, "the SDL stack " + name + " (" + Stack::names(libraries) +
                                                   "), got the SDL libraries " + json(Stack::names(r.stack.libraries)));
    }
    if (o.arch) {
        const auto& [name, machine] = *o.arch;
        expect(r.stack.machine == machine,
               "a program built for " + name + " (ELF machine " + machine + "), got " +
                   (r.stack.machine.empty() ? "no libSDL-1.2 mapped" : "ELF machine " + r.stack.machine));
    }
    for (const auto& path : o.absent) {
        expect(access(path.c_str(), F_OK) != 0, "no file " + path);
    }
    for (const auto& [path, text] : o.files) {
        const bool exists = access(path.c_str(), F_OK) == 0;
        expect(exists && slurp(path) == text,
               path + " holding " + json(text) + ", got " + (exists ? json(slurp(path)) : "no file"));
    }
    return broken;
}

}  // namespace probe
