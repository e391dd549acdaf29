#include "desktopwindows.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <memory>

namespace desktop {

namespace {

// A window may vanish between listing and asking; such errors are not worth a word.
int ignoreErrors(Display*, XErrorEvent*)
{
    return 0;
}

struct Connection {
    Connection() : display(XOpenDisplay(nullptr))
    {
        if (display)
            previous = XSetErrorHandler(ignoreErrors);
    }
    ~Connection()
    {
        if (display) {
            XSync(display, False);
            XSetErrorHandler(previous);
            XCloseDisplay(display);
        }
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    Display* display;
    XErrorHandler previous = nullptr;
};

std::vector<Window> clientList(Display* d)
{
    std::vector<Window> out;
    const Window root = DefaultRootWindow(d);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const Atom list = XInternAtom(d, "_NET_CLIENT_LIST", True);
    if (list != None && XGetWindowProperty(d, root, list, 0, 4096, False, XA_WINDOW, &type, &format, &count, &after, &data) == Success
        && data && format == 32) {
        const auto* ids = reinterpret_cast<const unsigned long*>(data);
        out.assign(ids, ids + count);
    }
    if (data)
        XFree(data);
    if (!out.empty())
        return out;
    // No window manager: the root's children are the top-level windows.
    Window rootReturn = 0, parent = 0;
    Window* children = nullptr;
    unsigned int n = 0;
    if (XQueryTree(d, root, &rootReturn, &parent, &children, &n) && children) {
        out.assign(children, children + n);
        XFree(children);
    }
    return out;
}

QString titleOf(Display* d, Window w)
{
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const Atom netName = XInternAtom(d, "_NET_WM_NAME", True);
    const Atom utf8 = XInternAtom(d, "UTF8_STRING", True);
    QString title;
    if (netName != None && utf8 != None
        && XGetWindowProperty(d, w, netName, 0, 1024, False, utf8, &type, &format, &count, &after, &data) == Success && data
        && format == 8)
        title = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<int>(count));
    if (data)
        XFree(data);
    if (title.isEmpty()) {
        char* name = nullptr;
        if (XFetchName(d, w, &name) && name) {
            title = QString::fromLocal8Bit(name);
            XFree(name);
        }
    }
    return title;
}

} // namespace

std::vector<TopLevel> topLevelWindows()
{
    std::vector<TopLevel> out;
    Connection c;
    if (!c.display)
        return out;
    for (Window w : clientList(c.display)) {
        XWindowAttributes a{};
        if (!XGetWindowAttributes(c.display, w, &a) || a.map_state != IsViewable)
            continue;
        out.push_back({w, titleOf(c.display, w)});
    }
    return out;
}

int closeWindows(const QString& part, bool exact)
{
    if (part.isEmpty())
        return 0;
    Connection c;
    if (!c.display)
        return 0;
    const Atom protocols = XInternAtom(c.display, "WM_PROTOCOLS", False);
    const Atom deleteWindow = XInternAtom(c.display, "WM_DELETE_WINDOW", False);
    int asked = 0;
    for (Window w : clientList(c.display)) {
        const QString title = titleOf(c.display, w);
        if (exact ? title != part : !title.contains(part))
            continue;
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.window = w;
        e.xclient.message_type = protocols;
        e.xclient.format = 32;
        e.xclient.data.l[0] = static_cast<long>(deleteWindow);
        e.xclient.data.l[1] = CurrentTime;
        XSendEvent(c.display, w, False, NoEventMask, &e);
        ++asked;
    }
    XFlush(c.display);
    return asked;
}

bool activateWindow(const QString& title)
{
    Connection c;
    if (!c.display)
        return false;
    for (Window w : clientList(c.display)) {
        if (titleOf(c.display, w) != title)
            continue;
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.window = w;
        e.xclient.message_type = XInternAtom(c.display, "_NET_ACTIVE_WINDOW", False);
        e.xclient.format = 32;
        e.xclient.data.l[0] = 2; // a request from a pager-like tool
        e.xclient.data.l[1] = CurrentTime;
        XSendEvent(c.display, DefaultRootWindow(c.display), False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
        XMapRaised(c.display, w);
        XFlush(c.display);
        return true;
    }
    return false;
}

} // namespace desktop
