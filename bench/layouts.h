// The decode inputs: one 3840 x 2160 file per layout, made by
// bench_make_inputs and read by bench_decode.
#pragma once

#include <cstdint>

namespace bench {

inline constexpr uint32_t kInputWidth = 3840;
inline constexpr uint32_t kInputHeight = 2160;

struct InputLayout {
    const char* case_name;  // short, for the table and the CSV
    const char* file_name;
    const char* description;
};

inline constexpr InputLayout kInputLayouts[] = {
    {"pal1", "pal1.bmp", "1-bit palette, two colours"},
    {"pal4", "pal4.bmp", "4-bit palette, 16 colours"},
    {"pal8", "pal8.bmp", "8-bit palette, 256 colours"},
    {"rgb555", "rgb555.bmp", "16-bit BI_RGB 5-5-5"},
    {"rgb565", "rgb565.bmp", "16-bit BI_BITFIELDS 5-6-5, masks after a 40-byte header"},
    {"argb4444", "argb4444.bmp", "16-bit BI_BITFIELDS 4-4-4-4 with alpha, 108-byte header"},
    {"rgb24", "rgb24.bmp", "24-bit"},
    {"rgb32", "rgb32.bmp", "32-bit BI_RGB with a real alpha byte"},
    {"argb32", "argb32.bmp", "32-bit BI_BITFIELDS ARGB, 108-byte header"},
    {"rle8", "rle8.bmp", "8-bit RLE, runs of a drawn picture"},
    {"rle4", "rle4.bmp", "4-bit RLE, runs of a drawn picture"},
};

}  // namespace bench
