// The writer's own faults would hide inside every fixture built with it, so
// its bytes are checked here against values worked out by hand.
#include "tools/bmp_writer/bmp_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using bmp_writer::BmpSpec;
using Bytes = std::vector<uint8_t>;

std::string hex(const Bytes& bytes) {
    std::string text;
    char cell[4];
    for (uint8_t byte : bytes) {
        std::snprintf(cell, sizeof cell, "%02X ", byte);
        text += cell;
    }
    return text;
}

uint32_t read_u32(const Bytes& bytes, size_t offset) {
    return static_cast<uint32_t>(bytes.at(offset)) | static_cast<uint32_t>(bytes.at(offset + 1)) << 8 |
           static_cast<uint32_t>(bytes.at(offset + 2)) << 16 | static_cast<uint32_t>(bytes.at(offset + 3)) << 24;
}

TEST(BuildBmp, WritesEveryHeaderFieldOfAOnePixelFile) {
    BmpSpec spec;
    spec.width = 1;
    spec.height = 1;
    spec.bit_count = 24;
    spec.pixel_data = {0x33, 0x22, 0x11, 0x00};
    const Bytes want = {
        0x42, 0x4D, 0x3A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x36, 0x00, 0x00, 0x00,  // file header
        0x28, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,  // size, width, height
        0x01, 0x00, 0x18, 0x00, 0x00, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00,  // planes, bits, comp, size
        0x13, 0x0B, 0x00, 0x00, 0x13, 0x0B, 0x00, 0x00,                          // 2835 pels per metre
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,                          // colours used, important
        0x33, 0x22, 0x11, 0x00,                                                  // the pixel
    };
    const Bytes have = bmp_writer::build_bmp(spec);
    EXPECT_EQ(have, want) << "have " << hex(have) << "\nwant " << hex(want);
}

TEST(BuildBmp, PlacesMasksAndPaletteByHeaderSize) {
    struct Row {
        const char* name;
        uint32_t info_size;
        size_t mask_count;
        size_t palette_count;
        std::vector<size_t> mask_offsets;
        size_t palette_offset;
        uint32_t want_off_bits;
    };
    const Row rows[] = {
        // 40-byte header: masks follow it, data after 14 + 40 + 12.
        {"info40 three masks", 40, 3, 0, {54, 58, 62}, 0, 66},
        // 52 holds three masks; a fourth goes after the header, before the palette.
        {"info52 four masks", 52, 4, 1, {54, 58, 62, 66}, 70, 74},
        {"info56 four masks", 56, 4, 0, {54, 58, 62, 66}, 0, 70},
        {"info124 four masks", 124, 4, 2, {54, 58, 62, 66}, 138, 146},
        {"info40 palette", 40, 0, 2, {}, 54, 62},
    };
    const uint32_t masks[] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        BmpSpec spec;
        spec.width = 1;
        spec.height = 1;
        spec.bit_count = 32;
        spec.info_size = row.info_size;
        spec.masks.assign(masks, masks + row.mask_count);
        for (size_t i = 0; i < row.palette_count; ++i) spec.palette.push_back(0x80102030u + static_cast<uint32_t>(i));
        spec.pixel_data = {1, 2, 3, 4};
        const Bytes have = bmp_writer::build_bmp(spec);

        EXPECT_EQ(read_u32(have, bmp_writer::kOffsetInfoSize), row.info_size);
        EXPECT_EQ(read_u32(have, bmp_writer::kOffsetOffBits), row.want_off_bits);
        ASSERT_EQ(have.size(), row.want_off_bits + 4u) << "have " << have.size() << ", want " << row.want_off_bits + 4;
        for (size_t i = 0; i < row.mask_offsets.size(); ++i) {
            EXPECT_EQ(read_u32(have, row.mask_offsets[i]), masks[i])
                << "mask " << i << " at " << row.mask_offsets[i];
        }
        if (row.palette_count > 0) {
            // 0x80102030 is stored blue, green, red, reserved.
            const Bytes want = {0x30, 0x20, 0x10, 0x80};
            const Bytes entry(have.begin() + row.palette_offset, have.begin() + row.palette_offset + 4);
            EXPECT_EQ(entry, want) << "have " << hex(entry) << ", want " << hex(want);
            EXPECT_EQ(read_u32(have, bmp_writer::kOffsetClrUsed), row.palette_count);
        }
        EXPECT_EQ(Bytes(have.end() - 4, have.end()), (Bytes{1, 2, 3, 4}));
    }
}

TEST(BuildBmp, WritesTheCoreHeaderWithThreeBytePaletteEntries) {
    BmpSpec spec;
    spec.info_size = bmp_writer::kCoreHeaderSize;
    spec.width = 3;
    spec.height = -2;
    spec.bit_count = 1;
    spec.palette = {0x000000, 0xFFEEDD};
    spec.pixel_data = Bytes(8, 0);
    const Bytes have = bmp_writer::build_bmp(spec);
    // 14 + 12 + 2 x 3 = 32 bytes before the pixels.
    const Bytes want_head = {
        0x42, 0x4D, 0x28, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x20, 0x00, 0x00, 0x00,
        0x0C, 0x00, 0x00, 0x00, 0x03, 0x00, 0xFE, 0xFF, 0x01, 0x00, 0x01, 0x00,
        0x00, 0x00, 0x00, 0xDD, 0xEE, 0xFF,
    };
    ASSERT_EQ(have.size(), 40u);
    const Bytes head(have.begin(), have.begin() + 32);
    EXPECT_EQ(head, want_head) << "have " << hex(head) << "\nwant " << hex(want_head);
}

TEST(BuildBmp, OverridesReachTheirFieldsAndGapShiftsThePixels) {
    BmpSpec spec;
    spec.width = 1;
    spec.height = 1;
    spec.bit_count = 8;
    spec.palette = {0x112233};
    spec.gap = {0xEE, 0xEE};
    spec.pixel_data = {0, 0, 0, 0};
    spec.trailing = {0x99};
    spec.signature = 0x4142;  // "BA"
    spec.size_image = 0;
    spec.clr_used = 70000;
    spec.clr_important = 9;
    spec.file_size_field = 7;
    Bytes have = bmp_writer::build_bmp(spec);

    EXPECT_EQ(have[0], 0x42);
    EXPECT_EQ(have[1], 0x41);
    EXPECT_EQ(read_u32(have, bmp_writer::kOffsetFileSize), 7u);
    EXPECT_EQ(read_u32(have, bmp_writer::kOffsetSizeImage), 0u);
    EXPECT_EQ(read_u32(have, bmp_writer::kOffsetClrUsed), 70000u);
    EXPECT_EQ(read_u32(have, bmp_writer::kOffsetClrImportant), 9u);
    // 14 + 40 + 4 (palette) + 2 (gap): the natural offset counts the gap.
    EXPECT_EQ(read_u32(have, bmp_writer::kOffsetOffBits), 60u);
    ASSERT_EQ(have.size(), 65u);
    EXPECT_EQ(have[58], 0xEE);
    EXPECT_EQ(have[64], 0x99);

    spec.off_bits = 1000;
    have = bmp_writer::build_bmp(spec);
    EXPECT_EQ(read_u32(have, bmp_writer::kOffsetOffBits), 1000u);
    EXPECT_EQ(have.size(), 65u) << "an offset override moves no bytes";

    bmp_writer::put_u16(have, bmp_writer::kOffsetPlanes, 3);
    bmp_writer::put_u32(have, bmp_writer::kOffsetCompression, 0xDEADBEEF);
    EXPECT_EQ(have[bmp_writer::kOffsetPlanes], 3);
    EXPECT_EQ(read_u32(have, bmp_writer::kOffsetCompression), 0xDEADBEEFu);
}

TEST(PackRows, PadsRowsAndStoresTheBottomRowFirst) {
    struct Row {
        const char* name;
        uint16_t bit_count;
        uint32_t width;
        uint32_t height;
        bool top_down;
        std::vector<uint32_t> values;  // top row first
        Bytes want;
    };
    const Row rows[] = {
        {"1 bpp 3x2", 1, 3, 2, false, {1, 0, 1, 0, 1, 1}, {0x60, 0, 0, 0, 0xA0, 0, 0, 0}},
        {"1 bpp 3x2 top-down", 1, 3, 2, true, {1, 0, 1, 0, 1, 1}, {0xA0, 0, 0, 0, 0x60, 0, 0, 0}},
        {"4 bpp 3x2", 4, 3, 2, false, {1, 2, 3, 0xF, 0, 0xA}, {0xF0, 0xA0, 0, 0, 0x12, 0x30, 0, 0}},
        {"8 bpp 3x1", 8, 3, 1, false, {7, 8, 9}, {7, 8, 9, 0}},
        {"8 bpp 5x1 pads to 8", 8, 5, 1, false, {1, 2, 3, 4, 5}, {1, 2, 3, 4, 5, 0, 0, 0}},
        {"16 bpp 3x1", 16, 3, 1, false, {0x7C00, 0x03E0, 0x001F}, {0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00, 0, 0}},
        {"24 bpp 1x2", 24, 1, 2, false, {0x112233, 0xAABBCC}, {0xCC, 0xBB, 0xAA, 0, 0x33, 0x22, 0x11, 0}},
        {"24 bpp 2x1", 24, 2, 1, false, {0x010203, 0x040506}, {3, 2, 1, 6, 5, 4, 0, 0}},
        {"32 bpp 1x2", 32, 1, 2, false, {0x80112233, 0x01020304}, {4, 3, 2, 1, 0x33, 0x22, 0x11, 0x80}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const Bytes have = bmp_writer::pack_rows(row.values, row.width, row.height, row.bit_count, row.top_down);
        EXPECT_EQ(have, row.want) << "have " << hex(have) << ", want " << hex(row.want);
        EXPECT_EQ(bmp_writer::row_stride(row.width, row.bit_count) * row.height, row.want.size());
    }
}

TEST(EncodeRle, WritesRunsAbsoluteStretchesAndEscapes) {
    struct Row {
        const char* name;
        bool rle4;
        uint32_t width;
        uint32_t height;
        Bytes indices;  // top row first
        Bytes want;
    };
    const Row rows[] = {
        // Bottom row {9,9,4,4,4,4,4}: two single runs, a run of five, end of line.
        // Top row {5,5,5,5,1,2,3}: a run of four, an absolute run of three padded, end of bitmap.
        {"rle8 two rows", false, 7, 2,
         {5, 5, 5, 5, 1, 2, 3, 9, 9, 4, 4, 4, 4, 4},
         {1, 9, 1, 9, 5, 4, 0, 0, 4, 5, 0, 3, 1, 2, 3, 0, 0, 1}},
        {"rle8 run longer than 255", false, 300, 1, Bytes(300, 7), {0xFF, 7, 0x2D, 7, 0, 1}},
        {"rle8 absolute of even length has no pad", false, 4, 1, {1, 2, 3, 4}, {0, 4, 1, 2, 3, 4, 0, 1}},
        // Bottom {3,3,3,1,2}: run of three nibbles, a two-pixel run holding 1 and 2.
        // Top {1,2,3,4,5}: absolute run of five pixels in three bytes, one pad byte.
        {"rle4 two rows", true, 5, 2,
         {1, 2, 3, 4, 5, 3, 3, 3, 1, 2},
         {3, 0x33, 2, 0x12, 0, 0, 0, 5, 0x12, 0x34, 0x50, 0, 0, 1}},
        {"rle4 single pixel", true, 1, 1, {0xA}, {1, 0xA0, 0, 1}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const Bytes have = row.rle4 ? bmp_writer::encode_rle4(row.indices, row.width, row.height)
                                    : bmp_writer::encode_rle8(row.indices, row.width, row.height);
        EXPECT_EQ(have, row.want) << "have " << hex(have) << "\nwant " << hex(row.want);
    }
}

}  // namespace
