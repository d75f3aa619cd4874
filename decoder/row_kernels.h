// Fast forms of the row conversion loops. Each kernel converts one stored row
// of `width` pixels into ARGB with exactly the result of the plain loop it
// stands for, and reads no byte the plain loop would not read. The path is
// chosen once per process by CPU features: the build assumes only the x86-64
// baseline, and the AVX2 forms run where the CPU has AVX2.
//
// `stream` asks for stores that bypass the cache: worth it only when the
// whole picture is far larger than the cache, as the caller knows and a row
// does not.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/graphics.h"  // ArgbPixel

enum RowPath : uint8_t { ROW_PLAIN = 0, ROW_AVX2 = 1 };

RowPath fastest_row_path();
bool row_path_available(RowPath path);
const char* row_path_name(RowPath path);

// Pictures whose decoded size reaches this many bytes are written with
// streaming stores.
inline constexpr size_t kStreamingOutputBytes = size_t{16} << 20;

// 1 bit per pixel, most significant bit first; palette has two entries.
void row_kernel_mono1(RowPath path, bool stream, const uint8_t* source, ArgbPixel* target,
                      uint32_t width, const ArgbPixel* palette);
// 4 bits per pixel, high nibble first; palette has 16 entries.
void row_kernel_pal4(RowPath path, bool stream, const uint8_t* source, ArgbPixel* target,
                     uint32_t width, const ArgbPixel* palette);
// One byte per pixel, an index into the 256-entry palette.
void row_kernel_pal8(RowPath path, bool stream, const uint8_t* source, ArgbPixel* target,
                     uint32_t width, const ArgbPixel* palette);
// Two bytes per pixel, a little-endian index into the 65536-entry table.
void row_kernel_lookup16(RowPath path, bool stream, const uint8_t* source, ArgbPixel* target,
                         uint32_t width, const ArgbPixel* table);
// 16-bit BI_RGB, 5-5-5 with bit 15 unused, channels widened by a plain shift.
void row_kernel_rgb555(RowPath path, bool stream, const uint8_t* source, ArgbPixel* target,
                       uint32_t width);
// 3 bytes blue, green, red; alpha 0xFF.
void row_kernel_rgb24(RowPath path, bool stream, const uint8_t* source, ArgbPixel* target,
                      uint32_t width);
// 4 bytes stored as the little-endian ARGB value itself. Returns the OR of
// every pixel written, so the caller learns whether any alpha byte is set
// without reading the picture again.
uint32_t row_kernel_rgb32(RowPath path, bool stream, const uint8_t* source, ArgbPixel* target,
                          uint32_t width);

// Whole-byte channel positions (0 to 3) within a 4-byte pixel; `opaque` is
// ORed into every pixel (0xFF000000 when the file has no alpha mask).
struct ByteOrder {
    uint32_t red, green, blue, alpha;
    ArgbPixel opaque;
};
void row_kernel_shuffle32(RowPath path, bool stream, const uint8_t* source, ArgbPixel* target,
                          uint32_t width, ByteOrder order);

// Run-length fill: pixel i of the count gets `even` for even i and `odd` for
// odd i (RLE8 runs pass the same colour twice; RLE4 runs alternate).
// With `stream`, runs of kStreamedRunPixels or more write their whole cache
// lines past the cache and leave the fence to finish_streamed_runs, which the
// caller runs once after the last run.
inline constexpr uint64_t kStreamedRunPixels = 64;
void fill_pixel_pair(RowPath path, bool stream, ArgbPixel* target, uint64_t count,
                     ArgbPixel even, ArgbPixel odd);
void finish_streamed_runs();
