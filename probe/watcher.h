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
    // The same moments as the server stamped something no later than them
    // (-1: nothing was stamped before them): the latest stamp the probe had
    // read before it learnt of the mapping or the caption, or the caption's
    // own. Read late or not, these are never after the moment itself.
    double mapped_early = -1;
    double captioned_early = -1;
    // Where the watcher reads events late (a compositor's IPC), a moment no
    // later than the window's end; on X, when the probe read it.
    double gone_early = -1;
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
    // The latest moment the server stamped on an event the probe has read
    // (-1: none yet). The server reports events in the order it makes the
    // changes, so whatever the probe reads next happened no sooner.
    double last_stamp = -1;

    // t is when the probe read the event; t0 the start, on the same clock.
    void handle(const XEvent& e, double t, double t0);

    void send_delete(Window target);

    // Asks the server for a stamp: an empty change to a property of the
    // probe's own unmapped window, whose PropertyNotify carries the server's
    // time. Done every few milliseconds, it keeps last_stamp close behind
    // whatever the program does.
    void beat();

private:
    // Xvfb stamps events with CLOCK_MONOTONIC in whole milliseconds, the
    // probe's own clock, so a stamp tells when the server made a change
    // however late the probe read it: the start of that millisecond, on the
    // probe's clock since t0. A stamp that makes no sense is ignored.
    static std::optional<double> server_time(Time stamp, double t, double t0);

    // The window an event is about; xany.window is the one it was reported
    // to, which for the root's substructure events is the root.
    static Window subject(const XEvent& e);

    // A property's value, "" when it is not set, nothing when it cannot be
    // read (the window is already gone: the error handler ignores that).
    std::optional<std::string> property(Window win, Atom name, Atom type, long longs = 4096);

    // Reads what the checks need, keeping what was known where a read fails;
    // CHANGED names the property that changed (None: any may have).
    // EARLY is an instant no later than the change (see Seen).
    void refresh(Window win, Seen& w, double t, bool stamped, double early, Atom changed = None);

    Display* dpy_;
    std::string caption_;
    Window beat_;
    Atom beat_atom_ = XInternAtom(dpy_, "QUORVANTEL_PROBE_STAMP", False);
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
