// xshot OUTPUT.png: saves what the X server of $DISPLAY shows on its root
// window as a PNG.
#include <cstdio>
#include <string>

#include "tools/xshot/x_root_capture.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: xshot OUTPUT.png\n");
        return 2;
    }
    RootCapture capture;
    std::string error;
    if (!capture_root_window("", capture, error) || !write_rgb_png(argv[1], capture, error)) {
        std::fprintf(stderr, "xshot: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
