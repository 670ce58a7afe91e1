// SPDX-License-Identifier: Zlib
// Watching the X server: every top-level window created on it, what it is
// called, its size, and when it was mapped, captioned and removed.
#pragma once

#include <X11/Xlib.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace probe {

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
    std::string wm_class;  // the instance and the class, as "name/class"; on Wayland the app_id
    std::string shell;     // on Wayland: xdg_shell, or xwayland
    // The largest image in _NET_WM_ICON: its width and height, then its
    // pixels as ARGB, one to a long, as Xlib hands them over.
    std::vector<unsigned long> icon;
    bool caption_stamped = false;  // its time is the server's, not when the probe read it
};

// Every top-level window seen, by id. The server hands a vanished client's
// ids to the next client: a window created with a known id is another
// window, kept beside the earlier one, which may have been the program's.
// Under valgrind the program's X connection closes long before it exits, and
// another test's program on the same server once took its ids meanwhile.
using WindowLog = std::multimap<Window, Seen>;

class Watcher {
public:
    Watcher(Display* dpy, std::string caption);

    WindowLog windows;  // an id's latest window is its last
    double first_caption = -1;

    // t is when the probe read the event; t0 the start, on the same clock.
    void handle(const XEvent& e, double t, double t0);

    void send_delete(Window target);

private:
    // Xvfb stamps events with CLOCK_MONOTONIC in whole milliseconds, the
    // probe's own clock, so a stamp tells when the server made a change
    // however late the probe read it. The end of that millisecond is taken,
    // so the moment is never early; a stamp that makes no sense is ignored.
    static std::optional<double> server_time(Time stamp, double t, double t0);

    // The window an event is about; xany.window is the one it was reported
    // to, which for the root's substructure events is the root.
    static Window subject(const XEvent& e);

    // A property's value, "" when it is not set, nothing when it cannot be
    // read (the window is already gone: the error handler ignores that).
    std::optional<std::string> property(Window win, Atom name, Atom type, long longs = 4096);

    // Reads what the checks need, keeping what was known where a read fails;
    // CHANGED names the property that changed (None: any may have).
    void refresh(Window win, Seen& w, double t, bool stamped, Atom changed = None);

    Display* dpy_;
    std::string caption_;
    Atom net_wm_pid_ = XInternAtom(dpy_, "_NET_WM_PID", False);
    Atom net_wm_name_ = XInternAtom(dpy_, "_NET_WM_NAME", False);
    Atom net_wm_icon_name_ = XInternAtom(dpy_, "_NET_WM_ICON_NAME", False);
    Atom net_wm_icon_ = XInternAtom(dpy_, "_NET_WM_ICON", False);
    Atom utf8_ = XInternAtom(dpy_, "UTF8_STRING", False);
    Atom protocols_ = XInternAtom(dpy_, "WM_PROTOCOLS", False);
    Atom delete_window_ = XInternAtom(dpy_, "WM_DELETE_WINDOW", False);
};

// Errors on windows that vanished while being read are expected.
int ignore_x_errors(Display* display, XErrorEvent* error);

}  // namespace probe
