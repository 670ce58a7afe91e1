// SPDX-License-Identifier: Zlib
// The floor: the least an X program can do to show an 800 x 600 window
// titled "Quorvantel" for three seconds. Plain Xlib, nothing else.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <unistd.h>

#include <ctime>

int main()
{
    Display* dpy = XOpenDisplay(nullptr);
    if (dpy == nullptr) {
        return 0;
    }
    const Window win = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 800, 600, 0, 0, 0);
    // Let a watcher tell this process's window from others'.
    const long pid = getpid();
    XChangeProperty(dpy, win, XInternAtom(dpy, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&pid), 1);
    XMapWindow(dpy, win);
    XStoreName(dpy, win, "Quorvantel");
    XFlush(dpy);
    const timespec hold{3, 0};
    nanosleep(&hold, nullptr);
    XCloseDisplay(dpy);
    return 1;
}
