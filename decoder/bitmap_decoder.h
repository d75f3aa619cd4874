// The bitmap decoder: reads one Windows BMP file at a time into a single
// module-level record and converts its rows into top-down 32-bit ARGB.
//
// Plain procedural code over one record. Operations report failure only
// through state: `loaded` stays clear and `refusal` says why. Nothing here
// prints anything.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/graphics.h"  // ArgbPixel, Image

// The published BMP records, little-endian and without gaps.
#pragma pack(push, 1)
struct BITMAPFILEHEADER {
    uint16_t bfType;
    uint32_t bfSize;
    uint16_t bfReserved1;
    uint16_t bfReserved2;
    uint32_t bfOffBits;
};
#pragma pack(pop)
static_assert(sizeof(BITMAPFILEHEADER) == 14, "BITMAPFILEHEADER is 14 bytes packed");

struct BITMAPINFOHEADER {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40, "BITMAPINFOHEADER is 40 bytes");

inline constexpr uint32_t BI_RGB = 0;
inline constexpr uint32_t BI_RLE8 = 1;
inline constexpr uint32_t BI_RLE4 = 2;
inline constexpr uint32_t BI_BITFIELDS = 3;

// Classification of a file's pixel layout from (biBitCount, biCompression).
using FormatCode = uint8_t;
inline constexpr FormatCode FORMAT_UNSUPPORTED = 0;
inline constexpr FormatCode FORMAT_MONO1 = 1;
inline constexpr FormatCode FORMAT_PAL4 = 2;
inline constexpr FormatCode FORMAT_PAL8 = 3;
inline constexpr FormatCode FORMAT_RGB16 = 4;
inline constexpr FormatCode FORMAT_MASKED16 = 5;
inline constexpr FormatCode FORMAT_RGB24 = 6;
inline constexpr FormatCode FORMAT_RGB32 = 7;
inline constexpr FormatCode FORMAT_MASKED32 = 8;
inline constexpr FormatCode FORMAT_RLE4 = 9;
inline constexpr FormatCode FORMAT_RLE8 = 10;

// Printable name of a FormatCode ("FORMAT_RGB24"); "FORMAT_UNSUPPORTED" for
// anything out of range.
const char* format_code_name(FormatCode format);

// What each layout needs, indexed by FormatCode. The reader, the row-table
// builder and the tests take their figures from here, so a layout's bits per
// pixel are written down once.
struct FormatFacts {
    const char* name;
    uint8_t bits_per_pixel;  // 0 for FORMAT_UNSUPPORTED
    uint8_t palette;         // FLAG_SET: pixels index palette_argb
    uint8_t masks;           // FLAG_SET: channel masks follow the header
    uint8_t run_length;      // FLAG_SET: the data is an RLE stream, not rows
};
inline constexpr FormatFacts kFormatFacts[] = {
    {"FORMAT_UNSUPPORTED", 0, 0x00, 0x00, 0x00},
    {"FORMAT_MONO1", 1, 0xFF, 0x00, 0x00},
    {"FORMAT_PAL4", 4, 0xFF, 0x00, 0x00},
    {"FORMAT_PAL8", 8, 0xFF, 0x00, 0x00},
    {"FORMAT_RGB16", 16, 0x00, 0x00, 0x00},
    {"FORMAT_MASKED16", 16, 0x00, 0xFF, 0x00},
    {"FORMAT_RGB24", 24, 0x00, 0x00, 0x00},
    {"FORMAT_RGB32", 32, 0x00, 0x00, 0x00},
    {"FORMAT_MASKED32", 32, 0x00, 0xFF, 0x00},
    {"FORMAT_RLE4", 4, 0xFF, 0x00, 0xFF},
    {"FORMAT_RLE8", 8, 0xFF, 0x00, 0xFF},
};
static_assert(sizeof(kFormatFacts) / sizeof(kFormatFacts[0]) == FORMAT_RLE8 + 1,
              "one row of facts per FormatCode");

// Flags hold one of these two bytes; test them with != 0.
inline constexpr uint8_t FLAG_CLEAR = 0x00;
inline constexpr uint8_t FLAG_SET = 0xFF;

// Channel order of the four-entry mask, shift and scale arrays.
inline constexpr int CHANNEL_RED = 0;
inline constexpr int CHANNEL_GREEN = 1;
inline constexpr int CHANNEL_BLUE = 2;
inline constexpr int CHANNEL_ALPHA = 3;

inline constexpr size_t kPaletteEntries = 256;
inline constexpr size_t kColourTable16Entries = 65536;
inline constexpr size_t kRefusalLength = 200;

// The largest picture the reader accepts, in pixels: 2^28 pixels are 1 GiB of
// ARGB. It also bounds every product of header numbers the reader forms, so
// none of them can overflow 64 bits.
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
// Fuzz builds accept smaller pictures so that a few header bytes claiming a
// huge (valid) picture do not spend the fuzzer's time filling gigabytes.
inline constexpr uint64_t kMaxBitmapPixels = uint64_t{1} << 22;
#else
inline constexpr uint64_t kMaxBitmapPixels = uint64_t{1} << 28;
#endif

// The three row tables hold one pointer per row each.
inline constexpr uint64_t kRowTableBytesPerRow = 3 * sizeof(void*);
// Row tables may always take this much, however narrow the picture.
inline constexpr uint64_t kRowTableAllowanceBytes = uint64_t{64} << 20;

struct DecoderState {
    // The last file's headers and raw masks: written by the reader.
    BITMAPFILEHEADER file_header;
    BITMAPINFOHEADER info_header;
    uint32_t file_masks[4];

    // Heap blocks. pixel_bytes: reader allocates, conversion frees.
    // argb_pixels: reader allocates, conversion fills, release_decoded_pixels frees.
    uint8_t* pixel_bytes;
    ArgbPixel* argb_pixels;

    // Sizes and the layout of the last file: written by the reader.
    uintptr_t file_length;
    uintptr_t data_size;
    uint8_t loaded;
    uint32_t width;
    uint32_t height;
    intptr_t source_stride;  // conversion writes it
    uint8_t has_masks;
    uint8_t has_alpha_mask;

    // Result of the last pixel query: conversion writes it, the showcase reads it.
    ArgbPixel current_pixel;

    // Palette as read and as opaque ARGB: written by the reader, read by conversion.
    uint32_t palette_red[kPaletteEntries];
    uint32_t palette_green[kPaletteEntries];
    uint32_t palette_blue[kPaletteEntries];
    uint32_t palette_reserved[kPaletteEntries];
    ArgbPixel palette_argb[kPaletteEntries];

    // Channel-mask analysis: written by the mask analysis, read by conversion.
    ArgbPixel colour_table16[kColourTable16Entries];
    uint32_t alpha_table[256];
    intptr_t channel_shift[4];
    intptr_t channel_scale[4];
    uint32_t channel_mask[4];

    FormatCode format;

    // Added beside the fields above; written by the reader (palette_count,
    // top_down) and the mask analysis (channel_width), read by conversion.
    // channel_shift holds a channel's lowest mask bit for both masked
    // layouts, channel_width the length of its run of mask bits, and
    // channel_scale 8 - width (negative: the field is narrowed). alpha_table
    // is indexed by the alpha field widened or narrowed to 8 bits, and holds
    // 0xFF000000 everywhere for a file without an alpha mask.
    uint32_t channel_width[4];
    uint32_t palette_count;  // palette entries read, 0 to 256
    uint8_t top_down;        // FLAG_SET when biHeight was negative

    // Row tables, made anew by every decode; they point into the two blocks.
    std::vector<ArgbPixel*> image_rows;
    std::vector<ArgbPixel*> target_rows;
    std::vector<uint8_t*> source_rows;

    // Why the last read was refused; empty after a successful decode.
    char refusal[kRefusalLength];
};

// The single instance. Zero at start except the two header defaults.
extern DecoderState decoder_state;

// Reading (bitmap_reader.cpp).
void read_bitmap_file(const char* name);
void release_decoded_pixels();

// Channel masks (channel_masks.cpp).
void analyse_mask16(uint32_t& mask, intptr_t& shift, intptr_t& scale, intptr_t max_scale);
void analyse_mask32(uint32_t& mask, intptr_t& byte_index);
void build_colour_table16();

// How a pixel value becomes one 8-bit channel: ((value >> right_shift) &
// field_mask) << left_shift. One form covers narrow fields (widened by a
// plain left shift), wide fields (their top 8 bits) and absent ones (0).
struct ChannelWidening {
    uint32_t right_shift;
    uint32_t field_mask;
    uint32_t left_shift;
};
ChannelWidening channel_widening(uint32_t shift, uint32_t width);
// Finds every channel's field afresh from channel_mask (which must hold the
// file's masks, the alpha entry 0 unless has_alpha_mask), fills channel_shift,
// channel_width, channel_scale and alpha_table, and for FORMAT_MASKED16 the
// colour table. false, with refusal written, when a mask is not one
// contiguous run of bits.
bool analyse_channel_masks();

// Conversion and output (pixel_conversion.cpp).
void decode_bitmap(const char* name);
Image load_bitmap_image(const char* name);
Image make_decoded_image();
ArgbPixel pixel_at(uint32_t x, uint32_t y);
void pixel_at_unchecked(intptr_t x, intptr_t y);
ArgbPixel* decoded_pixels();
void build_row_tables();
void convert_rows();
void convert_row(const uint8_t* source_row, ArgbPixel* target_row);
