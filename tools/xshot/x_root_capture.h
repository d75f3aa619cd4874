// Reads what an X server shows: the root window as 0x00RRGGBB pixels, and a
// writer for such a capture as an 8-bit RGB PNG. Used by `xshot` and by the
// end-to-end tests, which judge the showcase only by what the server holds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct RootCapture {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint32_t> pixels;  // 0x00RRGGBB, rows top-down, no gaps
};

// Connects to display_name (an empty name means $DISPLAY), reads the whole
// root window of its default screen and disconnects. False with a reason in
// error when the server cannot be reached or the read fails.
bool capture_root_window(const std::string& display_name, RootCapture& capture, std::string& error);

bool write_rgb_png(const std::string& path, const RootCapture& capture, std::string& error);
