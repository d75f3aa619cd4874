// Writes decoded pictures as 8-bit RGBA PNG files through libpng.
#pragma once

#include <cstdint>
#include <string>

#include "platform/graphics.h"

// Writes width x height top-down ARGB pixels to path as an 8-bit RGBA PNG
// with straight (not premultiplied) alpha. The file appears complete or not
// at all: the bytes go to a temporary file in the same folder, which is
// renamed over path only once it is whole. On failure returns false and puts
// a one-line explanation in error.
bool write_png_file(const std::string& path, const ArgbPixel* pixels, uint32_t width, uint32_t height,
                    std::string& error);
