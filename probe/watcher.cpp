// SPDX-License-Identifier: Zlib
#include "watcher.h"

#include <X11/Xatom.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <utility>

namespace probe {

Watcher::Watcher(Display* dpy, std::string caption)
    : dpy_(dpy), caption_(std::move(caption)),
      // Made before the root is watched, so that it is not among the windows seen.
      beat_(XCreateWindow(dpy_, DefaultRootWindow(dpy_), -1, -1, 1, 1, 0, CopyFromParent, InputOnly, CopyFromParent, 0,
                          nullptr))
{
    XSelectInput(dpy_, beat_, PropertyChangeMask);
    XSelectInput(dpy_, DefaultRootWindow(dpy_), SubstructureNotifyMask);
    XSync(dpy_, False);
}

// t is when the probe read the event; t0 the start, on the same clock.
void Watcher::handle(const XEvent& e, double t, double t0)
{
    if (e.type == CreateNotify) {
        if (e.xcreatewindow.parent != DefaultRootWindow(dpy_)) {
            return;
        }
        Seen& w = windows.emplace(e.xcreatewindow.window, Seen{})->second;
        w.created = t;
        w.width = e.xcreatewindow.width;
        w.height = e.xcreatewindow.height;
        XSelectInput(dpy_, e.xcreatewindow.window, PropertyChangeMask | StructureNotifyMask);
        // Properties set, or a mapping made, before the selection took
        // effect raised no event (a window manager that reparents the window
        // keeps its MapNotify from the root).
        refresh(e.xcreatewindow.window, w, t, false, last_stamp);
        XWindowAttributes attributes{};
        if (w.mapped < 0 && XGetWindowAttributes(dpy_, e.xcreatewindow.window, &attributes) != 0 &&
            attributes.map_state != IsUnmapped) {
            w.mapped = t;
            w.mapped_early = last_stamp;
        }
        return;
    }
    const double before = last_stamp;
    std::optional<double> stamp;
    if (e.type == PropertyNotify) {
        stamp = server_time(e.xproperty.time, t, t0);
        last_stamp = std::max(last_stamp, stamp.value_or(-1));
    }
    const auto [first, end] = windows.equal_range(subject(e));
    if (first == end) {
        return;
    }
    const auto it = std::prev(end);
    Seen& w = it->second;
    switch (e.type) {
    case PropertyNotify:
        // The end of the stamped millisecond, so that the moment is never
        // early; a caption found on a change of another property was set
        // before it, no sooner than the stamp before.
        if (stamp) {
            const double early = e.xproperty.atom == XA_WM_NAME ? *stamp : before;
            refresh(it->first, w, std::min(t, *stamp + 1), true, early, e.xproperty.atom);
        } else {
            refresh(it->first, w, t, false, before, e.xproperty.atom);
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
            w.mapped_early = before;
        }
        break;
    case UnmapNotify:
    case DestroyNotify:
        if (w.gone < 0 && (e.type == DestroyNotify || w.mapped >= 0)) {
            w.gone = w.gone_early = t;
        }
        break;
    default:
        break;
    }
}

void Watcher::send_delete(Window target)
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

void Watcher::beat()
{
    XChangeProperty(dpy_, beat_, beat_atom_, XA_INTEGER, 8, PropModeAppend, nullptr, 0);
    XFlush(dpy_);
}

// Xvfb stamps events with CLOCK_MONOTONIC in whole milliseconds, the
// probe's own clock, so a stamp tells when the server made a change
// however late the probe read it: the start of that millisecond, on the
// probe's clock since t0. A stamp that makes no sense is ignored.
std::optional<double> Watcher::server_time(Time stamp, double t, double t0)
{
    const auto now = static_cast<std::uint64_t>(t + t0);
    const std::uint32_t lag = static_cast<std::uint32_t>(now) - static_cast<std::uint32_t>(stamp);
    if (lag >= 10000) {
        return std::nullopt;
    }
    return static_cast<double>(now - lag) - t0;
}

// The window an event is about; xany.window is the one it was reported
// to, which for the root's substructure events is the root.
Window Watcher::subject(const XEvent& e)
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
std::optional<std::string> Watcher::property(Window win, Atom name, Atom type, long longs)
{
    Atom actual = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(dpy_, win, name, 0, longs, False, type, &actual, &format, &count, &after, &data) !=
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
void Watcher::refresh(Window win, Seen& w, double t, bool stamped, double early, Atom changed)
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
    // WM_CLASS and the icon, the largest property read here, only when they
    // change: every other property change is read while a hold is timed.
    const auto read = [&](Atom name) { return changed == None || changed == name; };
    if (const auto wm_class = read(XA_WM_CLASS) ? property(win, XA_WM_CLASS, XA_STRING) : std::nullopt;
        wm_class && !wm_class->empty()) {
        const std::string name = wm_class->c_str();
        w.wm_class = name + "/" + (name.size() < wm_class->size() ? wm_class->c_str() + name.size() + 1 : "");
    }
    // Each image is its width, its height, then width x height pixels.
    if (const auto icon = read(net_wm_icon_) ? property(win, net_wm_icon_, XA_CARDINAL, 1 << 20) : std::nullopt;
        icon && !icon->empty()) {
        std::vector<unsigned long> longs(icon->size() / sizeof(long));
        std::memcpy(longs.data(), icon->data(), longs.size() * sizeof(long));
        w.icon.clear();
        for (size_t at = 0; at + 2 <= longs.size();) {
            const size_t size = longs[at] * longs[at + 1];
            if (at + 2 + size > longs.size()) {
                break;
            }
            if (w.icon.empty() || size > w.icon[0] * w.icon[1]) {
                w.icon.assign(longs.begin() + static_cast<long>(at), longs.begin() + static_cast<long>(at + 2 + size));
            }
            at += 2 + size;
        }
    }
    w.wm_name = *wm_name;
    w.net_wm_name = *net_wm_name;
    w.icon_name = icon_name->empty() ? *net_icon_name : *icon_name;
    if (w.captioned < 0 && w.wm_name == caption_) {
        w.captioned = t;
        w.captioned_early = early;
        w.caption_stamped = stamped;
        if (first_caption < 0) {
            first_caption = t;
        }
    }
}

int ignore_x_errors(Display* /*display*/, XErrorEvent* /*error*/)
{
    return 0;
}

}  // namespace probe
