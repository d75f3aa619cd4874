// The seam between the raster core and a window back end. Exactly one back
// end is linked into each program: SDL2 on Linux, Win32 on Windows, or the
// headless one, which opens no window and lets every raster call run as usual.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "platform/graphics.h"

// Implemented by the back end. display_open makes the window of exactly
// width x height and starts the display thread; false when no window can be
// made. It is called with the facility lock held, so the thread it starts
// must not wait for that lock before display_open returns. display_close
// stops the thread and removes the window; it is called without the lock.
bool display_open(int32_t width, int32_t height);
void display_close();

// Offered by the raster core to the back end's thread.
std::mutex& facility_lock();
struct VisiblePage {
    const ArgbPixel* pixels;  // null when no screen is open
    int32_t width;
    int32_t height;
    int64_t pitch;        // bytes
    uint64_t generation;  // changes whenever a call may have changed the page
};
// Call with facility_lock() held; the pixels stay valid while it is held.
VisiblePage visible_page();
// Appends one key (one or two characters) to the key queue. Takes the lock itself.
void queue_key(const std::string& key);
