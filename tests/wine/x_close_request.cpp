#include "tests/wine/x_close_request.h"

#include <X11/Xlib.h>

#include <cstring>

namespace {

bool is_mapped_and_titled(Display* display, Window window, const std::string& title) {
    XWindowAttributes attributes;
    if (XGetWindowAttributes(display, window, &attributes) == 0) return false;
    if (attributes.map_state != IsViewable) return false;
    char* name = nullptr;
    if (XFetchName(display, window, &name) == 0 || name == nullptr) return false;
    const bool same = title == name;
    XFree(name);
    return same;
}

}  // namespace

bool request_close_of_titled_window(const std::string& display_name, const std::string& title,
                                    std::string& error) {
    Display* display = XOpenDisplay(display_name.c_str());
    if (display == nullptr) {
        error = "cannot open display " + display_name;
        return false;
    }
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    Window found = 0;
    if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count) != 0) {
        for (unsigned int i = 0; i < count && found == 0; ++i) {
            if (is_mapped_and_titled(display, children[i], title)) found = children[i];
        }
        if (children != nullptr) XFree(children);
    }
    if (found == 0) {
        XCloseDisplay(display);
        error = "no mapped top-level window titled \"" + title + "\"";
        return false;
    }
    XEvent event;
    std::memset(&event, 0, sizeof event);
    event.xclient.type = ClientMessage;
    event.xclient.window = found;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, found, False, NoEventMask, &event);
    XSync(display, False);
    XCloseDisplay(display);
    return true;
}
