// Video drivers the SDL back end may use, shared by the window and the
// display-size query.
#pragma once

#include <cstdlib>

// Only drivers that put a window on a desktop. Wayland is tried only where a
// compositor is announced: without one, libwayland writes an error about
// XDG_RUNTIME_DIR to stderr, and the program must print nothing.
inline const char* desktop_video_drivers() {
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return wayland != nullptr && wayland[0] != '\0' ? "x11,wayland" : "x11";
}
