// The back end without a window: the screen lives in memory only, so tools
// and tests can run every raster call on a machine with no display.
#include "platform/display.h"

bool display_open(int32_t width, int32_t height) {
    (void)width;
    (void)height;
    return true;
}

void display_close() {}
