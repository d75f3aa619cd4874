// Conversion of stored rows: every uncompressed layout with odd widths, row
// filler, bottom-up and top-down order; strides; the pixel queries.
#include <gtest/gtest.h>

#include "decoder_test_support.h"

namespace {

using bmp_writer::BmpSpec;
using namespace decoder_test;

constexpr ArgbPixel kRed = 0xFFFF0000;
constexpr ArgbPixel kBlue = 0xFF0000FF;
constexpr uint8_t kFill = 0xEE;  // row filler and unused bits: never read

struct LayoutRow {
    const char* name;
    uint16_t bit_count;
    uint32_t compression;
    uint32_t info_size;
    std::vector<uint32_t> masks;
    std::vector<uint32_t> palette;
    int32_t width;
    int32_t height;                 // as stored: negative for top-down rows
    std::vector<uint8_t> stored;    // bytes exactly as in the file, first stored row first
    std::vector<ArgbPixel> want;    // the picture, top row first
};

TEST(ConvertRows, ConvertsEveryLayoutRowByRow) {
    const LayoutRow rows[] = {
        // Width 10: two bytes a row, the last 6 bits of the second unused.
        {"1 bit, width 10", 1, BI_RGB, 40, {}, {0xFF0000, 0x0000FF}, 10, 2,
         {0b10110010, 0b01111111, kFill, kFill,   // bottom: 1011001001
          0b00000000, 0b11000000, kFill, kFill},  // top:    0000000011
         {kRed, kRed, kRed, kRed, kRed, kRed, kRed, kRed, kBlue, kBlue,
          kBlue, kRed, kBlue, kBlue, kRed, kRed, kBlue, kRed, kRed, kBlue}},
        // Width 3: the second byte's low nibble is unused; rows start high.
        {"4 bits, width 3", 4, BI_RGB, 40, {}, grey_palette(), 3, 2,
         {0x12, 0x3F, kFill, kFill, 0x45, 0x6A, kFill, kFill},
         {grey(4), grey(5), grey(6), grey(1), grey(2), grey(3)}},
        {"8 bits, width 5", 8, BI_RGB, 40, {}, grey_palette(), 5, 2,
         {1, 2, 3, 4, 5, kFill, kFill, kFill, 15, 14, 13, 12, 11, kFill, kFill, kFill},
         {grey(15), grey(14), grey(13), grey(12), grey(11),
          grey(1), grey(2), grey(3), grey(4), grey(5)}},
        // 5-5-5, bit 15 ignored.
        {"16 bits, width 3", 16, BI_RGB, 40, {}, {}, 3, 2,
         {0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00, kFill, kFill,
          0xFF, 0xFF, 0xFF, 0x7F, 0x00, 0x00, kFill, kFill},
         {0xFFF8F8F8, 0xFFF8F8F8, 0xFF000000, 0xFFF80000, 0xFF00F800, 0xFF0000F8}},
        {"24 bits, width 3", 24, BI_RGB, 40, {}, {}, 3, 2,
         {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, kFill, kFill, kFill,
          0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x80, 0x90, kFill, kFill, kFill},
         {0xFF302010, 0xFF605040, 0xFF908070, 0xFF030201, 0xFF060504, 0xFF090807}},
        // No filler: the last pixel ends exactly at the end of the data.
        {"24 bits, width 4", 24, BI_RGB, 40, {}, {}, 4, 1,
         {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C},
         {0xFF030201, 0xFF060504, 0xFF090807, 0xFF0C0B0A}},
        // One non-zero alpha byte: every alpha byte counts as stored, 0 included.
        {"32 bits with alpha", 32, BI_RGB, 40, {}, {}, 3, 1,
         {0x01, 0x02, 0x03, 0x80, 0x04, 0x05, 0x06, 0x00, 0x07, 0x08, 0x09, 0xFF},
         {0x80030201, 0x00060504, 0xFF090807}},
        // Every fourth byte 0: the file has no alpha, not a transparent picture.
        {"32 bits, alpha bytes all 0", 32, BI_RGB, 40, {}, {}, 1, 2,
         {0x01, 0x02, 0x03, 0x00, 0x04, 0x05, 0x06, 0x00},
         {0xFF060504, 0xFF030201}},
        {"16 bits 5-6-5, width 3", 16, BI_BITFIELDS, 40, {0xF800, 0x07E0, 0x001F}, {}, 3, 2,
         {0xFF, 0xFF, 0x01, 0x00, 0x10, 0x84, kFill, kFill,
          0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00, kFill, kFill},
         {0xFFF80000, 0xFF00FC00, 0xFF0000F8, 0xFFF8FCF8, 0xFF000008, 0xFF808080}},
        {"32 bits masked, width 3", 32, BI_BITFIELDS, 56,
         {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000}, {}, 3, 1,
         {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C},
         {0x04030201, 0x08070605, 0x0C0B0A09}},
        // Top-down: the first stored row is the top of the picture.
        {"24 bits top-down", 24, BI_RGB, 40, {}, {}, 3, -2,
         {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, kFill, kFill, kFill,
          0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x80, 0x90, kFill, kFill, kFill},
         {0xFF030201, 0xFF060504, 0xFF090807, 0xFF302010, 0xFF605040, 0xFF908070}},
        {"8 bits top-down", 8, BI_RGB, 40, {}, grey_palette(), 1, -3,
         {1, kFill, kFill, kFill, 2, kFill, kFill, kFill, 3, kFill, kFill, kFill},
         {grey(1), grey(2), grey(3)}},
    };
    for (const LayoutRow& row : rows) {
        SCOPED_TRACE(row.name);
        BmpSpec spec;
        spec.width = row.width;
        spec.height = row.height;
        spec.bit_count = row.bit_count;
        spec.compression = row.compression;
        spec.info_size = row.info_size;
        spec.masks = row.masks;
        spec.palette = row.palette;
        spec.gap = {0, 0, 0, 0};  // keeps the smallest masked files above 70 bytes
        spec.pixel_data = row.stored;
        decode_spec(spec);
        EXPECT_TRUE(picture_is(row.want));
    }
}

TEST(BuildRowTables, StridesRoundRowsUpToWholeWords) {
    struct Row {
        uint16_t bit_count;
        int32_t width;
        intptr_t want_stride;
    };
    const Row rows[] = {
        {1, 10, 4},  {1, 33, 8},  {4, 3, 4},   {4, 9, 8},   {8, 1, 4},   {8, 4, 4},
        {8, 5, 8},   {16, 1, 4},  {16, 4, 8},  {16, 5, 12}, {24, 1, 4},  {24, 4, 12},
        {24, 5, 16}, {32, 1, 4},  {32, 4, 16}, {32, 5, 20},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.bit_count) + " bits, width " + std::to_string(row.width));
        BmpSpec spec;
        spec.width = row.width;
        spec.height = 1;
        spec.bit_count = row.bit_count;
        if (row.bit_count <= 8) spec.palette = grey_palette();
        spec.pixel_data.assign(static_cast<size_t>(row.want_stride), 0);
        decode_spec(spec);
        ASSERT_NE(decoder_state.loaded, 0) << decoder_state.refusal;
        EXPECT_EQ(decoder_state.source_stride, row.want_stride)
            << "have " << decoder_state.source_stride << ", want " << row.want_stride;
    }
}

// A 2 x 2 picture, 32 bits: stored rows (a, b) then (c, d).
void decode_two_by_two() {
    BmpSpec spec;
    spec.width = 2;
    spec.height = 2;
    spec.bit_count = 32;
    spec.pixel_data = {0x0A, 0, 0, 0xFF, 0x0B, 0, 0, 0xFF, 0x0C, 0, 0, 0xFF, 0x0D, 0, 0, 0xFF};
    decode_spec(spec);
}

TEST(PixelAt, ReadsThePictureTopDownAndZeroOutsideIt) {
    decode_two_by_two();
    ASSERT_NE(decoder_state.loaded, 0);
    struct Row {
        uint32_t x, y;
        ArgbPixel want;
    };
    const Row rows[] = {
        {0, 0, 0xFF00000C},     {1, 0, 0xFF00000D}, {0, 1, 0xFF00000A},
        {1, 1, 0xFF00000B},     {2, 0, 0},          {0, 2, 0},
        {0xFFFFFFFF, 0, 0},     {0, 0xFFFFFFFF, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE("(" + std::to_string(row.x) + ", " + std::to_string(row.y) + ")");
        decoder_state.current_pixel = 0x12345678;
        const ArgbPixel have = pixel_at(row.x, row.y);
        EXPECT_EQ(have, row.want) << "have " << hex(have) << ", want " << hex(row.want);
        EXPECT_EQ(decoder_state.current_pixel, row.want)
            << "have current_pixel " << hex(decoder_state.current_pixel) << ", want "
            << hex(row.want);
    }
}

TEST(PixelAt, YieldsZeroWhenNothingIsDecoded) {
    decode_two_by_two();
    release_decoded_pixels();
    decoder_state.current_pixel = 0x12345678;
    EXPECT_EQ(pixel_at(0, 0), 0u);
    EXPECT_EQ(decoder_state.current_pixel, 0u);
}

TEST(PixelAtUnchecked, StoresThePixelInCurrentPixel) {
    decode_two_by_two();
    pixel_at_unchecked(1, 0);
    EXPECT_EQ(decoder_state.current_pixel, 0xFF00000Du)
        << "have " << hex(decoder_state.current_pixel);
    pixel_at_unchecked(0, 1);
    EXPECT_EQ(decoder_state.current_pixel, 0xFF00000Au)
        << "have " << hex(decoder_state.current_pixel);
}

TEST(DecodeBitmap, LeavesNoRawPixelDataAndRowTablesIntoThePicture) {
    decode_two_by_two();
    EXPECT_EQ(decoder_state.pixel_bytes, nullptr);
    ASSERT_EQ(decoder_state.image_rows.size(), 2u);
    ASSERT_EQ(decoder_state.target_rows.size(), 2u);
    EXPECT_EQ(decoder_state.image_rows[1], decoded_pixels() + 2);
    // The first stored row lands in the bottom picture row.
    EXPECT_EQ(decoder_state.target_rows[0], decoder_state.image_rows[1]);
    EXPECT_EQ(decoder_state.target_rows[1], decoder_state.image_rows[0]);
}

TEST(FormatCodeName, NamesEachCodeAndNothingElse) {
    EXPECT_STREQ(format_code_name(FORMAT_MONO1), "FORMAT_MONO1");
    EXPECT_STREQ(format_code_name(FORMAT_MASKED32), "FORMAT_MASKED32");
    EXPECT_STREQ(format_code_name(FORMAT_RLE8), "FORMAT_RLE8");
    EXPECT_STREQ(format_code_name(11), "FORMAT_UNSUPPORTED");
    EXPECT_STREQ(format_code_name(255), "FORMAT_UNSUPPORTED");
}

}  // namespace
