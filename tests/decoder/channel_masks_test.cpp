// Channel masks: the two analysis functions as they stand on their own, and the
// colours masked 16- and 32-bit files decode to by the contiguous-field rule.
#include <gtest/gtest.h>

#include "decoder_test_support.h"

namespace {

using bmp_writer::BmpSpec;
using namespace decoder_test;

constexpr intptr_t kUnwritten = -99;

TEST(AnalyseMask16, FindsShiftAndScaleOfTypicalMasks) {
    struct Row {
        uint32_t mask;
        intptr_t max_scale;
        intptr_t want_shift;
        uint32_t want_mask;
        intptr_t want_scale;
    };
    const Row rows[] = {
        {0xF800, 3, 11, 0x1F, 3},
        {0x07E0, 3, 5, 0x3F, 2},
        {0x001F, 3, 0, 0x1F, 3},
        {0x7C00, 7, 10, 0x1F, 3},
        {0x8000, 3, 15, 0x1, kUnwritten},
        {0x8000, 7, 15, 0x1, 7},
        {0x0F00, 3, 8, 0xF, kUnwritten},
        {0xF000, 7, 12, 0xF, 4},
        {0xFF00, 3, 8, 0xFF, 0},
        {0, 7, kUnwritten, 0, kUnwritten},
        // Lowest set bit above bit 15: shift unwritten, mask down by 16 bits.
        {0x30000, 7, kUnwritten, 0x3, 6},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(hex(row.mask) + " max_scale " + std::to_string(row.max_scale));
        uint32_t mask = row.mask;
        intptr_t shift = kUnwritten;
        intptr_t scale = kUnwritten;
        analyse_mask16(mask, shift, scale, row.max_scale);
        EXPECT_EQ(shift, row.want_shift) << "have shift " << shift << ", want " << row.want_shift;
        EXPECT_EQ(mask, row.want_mask) << "have mask " << hex(mask) << ", want " << hex(row.want_mask);
        EXPECT_EQ(scale, row.want_scale) << "have scale " << scale << ", want " << row.want_scale;
    }
}

TEST(AnalyseMask32, FindsTheLowestWholeByte) {
    struct Row {
        uint32_t mask;
        intptr_t want_index;
    };
    const Row rows[] = {
        {0x00FF0000, 2}, {0x0000FF00, 1},         {0x000000FF, 0}, {0xFF000000, 3},
        {0x0000FFFF, 0}, {0x0000FFF0, 1},         {0x3FF00000, kUnwritten},
        {0, kUnwritten},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(hex(row.mask));
        uint32_t mask = row.mask;
        intptr_t index = kUnwritten;
        analyse_mask32(mask, index);
        EXPECT_EQ(index, row.want_index) << "have index " << index << ", want " << row.want_index;
    }
}

// A one-pixel masked file: `value` is the stored pixel, the masks sit inside a
// header of `info_size` bytes (after it when 40). Four gap bytes keep the file
// above 70 bytes; with a 40-byte header they are the word at offset 66, which
// is no mask there (and would be refused as one).
BmpSpec masked_pixel(uint16_t bit_count, uint32_t info_size, std::vector<uint32_t> masks,
                     uint32_t value) {
    BmpSpec spec;
    spec.width = 1;
    spec.height = 1;
    spec.bit_count = bit_count;
    spec.compression = BI_BITFIELDS;
    spec.info_size = info_size;
    spec.masks = std::move(masks);
    spec.gap = {0xEE, 0xEE, 0xEE, 0xEE};
    spec.pixel_data = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                       static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    if (bit_count == 16) spec.pixel_data[2] = spec.pixel_data[3] = 0xEE;  // row filler
    return spec;
}

struct MaskedRow {
    const char* name;
    uint16_t bit_count;
    uint32_t info_size;
    std::vector<uint32_t> masks;
    uint32_t value;
    ArgbPixel want;
};

void expect_masked_rows(const std::vector<MaskedRow>& rows) {
    for (const MaskedRow& row : rows) {
        SCOPED_TRACE(std::string(row.name) + " value " + hex(row.value));
        decode_spec(masked_pixel(row.bit_count, row.info_size, row.masks, row.value));
        EXPECT_TRUE(picture_is({row.want}));
    }
}

const std::vector<uint32_t> k565 = {0xF800, 0x07E0, 0x001F};
const std::vector<uint32_t> k1555 = {0x7C00, 0x03E0, 0x001F, 0x8000};
const std::vector<uint32_t> k4444 = {0x0F00, 0x00F0, 0x000F, 0xF000};

TEST(DecodeMasked16, WidensEachFieldByAPlainShift) {
    expect_masked_rows({
        {"5-6-5", 16, 40, k565, 0xFFFF, 0xFFF8FCF8},
        {"5-6-5", 16, 40, k565, 0x0001, 0xFF000008},
        {"5-6-5", 16, 40, k565, 0x8410, 0xFF808080},
        // Entry 0 is computed like the rest: black, not transparent.
        {"5-6-5", 16, 40, k565, 0x0000, 0xFF000000},
        {"1-5-5-5", 16, 56, k1555, 0x8000, 0xFF000000},
        {"1-5-5-5", 16, 56, k1555, 0x7FFF, 0x00F8F8F8},
        {"1-5-5-5", 16, 56, k1555, 0xFFFF, 0xFFF8F8F8},
        // Alpha is 17 x field; colours widen by 4 bits.
        {"4-4-4-4", 16, 56, k4444, 0xFFFF, 0xFFF0F0F0},
        {"4-4-4-4", 16, 56, k4444, 0x1234, 0x11203040},
        // 8-8-0: two whole bytes, blue mask zero.
        {"8-8-0", 16, 40, {0xFF00, 0x00FF, 0}, 0x12AB, 0xFF12AB00},
        // A 10-bit field keeps its top 8 bits: 0x201 >> 2 = 0x80.
        {"10-bit red", 16, 40, {0xFFC0, 0x003F, 0}, 0x807F, 0xFF80FC00},
        // An alpha mask wholly above the 16 bits of a pixel: alpha field 0.
        {"alpha above the pixel", 16, 56, {0xF800, 0x07E0, 0x001F, 0x00FF0000}, 0xFFFF,
         0x00F8FCF8},
    });
}

TEST(DecodeMasked16, SpreadsNarrowAlphaOverTheFullRange) {
    // 3-bit alpha: 255 x v / 7 rounded, 0 36 73 109 146 182 219 255.
    const ArgbPixel want_alpha[8] = {0, 36, 73, 109, 146, 182, 219, 255};
    for (uint32_t field = 0; field < 8; ++field) {
        SCOPED_TRACE("3-bit alpha field " + std::to_string(field));
        decode_spec(masked_pixel(16, 56, {0x0F00, 0x00F0, 0x000F, 0x7000}, field << 12));
        EXPECT_TRUE(picture_is({want_alpha[field] << 24}));
    }
    // 2-bit alpha: 0 85 170 255.
    const ArgbPixel want_two_bits[4] = {0x00000000, 0x55000000, 0xAA000000, 0xFF000000};
    for (uint32_t field = 0; field < 4; ++field) {
        SCOPED_TRACE("2-bit alpha field " + std::to_string(field));
        decode_spec(masked_pixel(16, 56, {0x0F00, 0x00F0, 0x000F, 0xC000}, field << 14));
        EXPECT_TRUE(picture_is({want_two_bits[field]}));
    }
}

TEST(DecodeMasked16, GivesTheSameColoursWhateverCameBefore) {
    decode_spec(masked_pixel(16, 40, k565, 0xFFFF));
    ASSERT_TRUE(picture_is({0xFFF8FCF8}));
    decode_spec(masked_pixel(16, 56, k4444, 0xFFFF));
    EXPECT_TRUE(picture_is({0xFFF0F0F0})) << "4-4-4-4 right after 5-6-5";
    decode_spec(masked_pixel(16, 56, k1555, 0x7FFF));
    ASSERT_TRUE(picture_is({0x00F8F8F8}));
    decode_spec(masked_pixel(16, 40, k565, 0x0000));
    EXPECT_TRUE(picture_is({0xFF000000})) << "5-6-5 after an alpha file stays opaque";
}

// With a 40-byte header the word at offset 66 is pixel data: here the first
// stored row 0x0000, 0x8000, read as one word 0x80000000. Taken for an alpha
// mask it would give every pixel an alpha field of 0.
TEST(DecodeMasked16, TakesNoAlphaMaskFromA40ByteHeader) {
    BmpSpec spec;
    spec.width = 2;
    spec.height = 2;
    spec.bit_count = 16;
    spec.compression = BI_BITFIELDS;
    spec.masks = {0x7C00, 0x03E0, 0x001F};
    spec.pixel_data = {0x00, 0x00, 0x00, 0x80, 0x1F, 0x00, 0x00, 0x00};
    decode_spec(spec);
    EXPECT_EQ(decoder_state.has_alpha_mask, 0);
    EXPECT_TRUE(picture_is({0xFF0000F8, 0xFF000000, 0xFF000000, 0xFF000000}));
}

const std::vector<uint32_t> kArgbMasks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};

TEST(DecodeMasked32, DecodesWholeBytesAndFieldsAlike) {
    expect_masked_rows({
        {"standard masks with alpha", 32, 56, kArgbMasks, 0x80123456, 0x80123456},
        {"standard masks, 40-byte header", 32, 40, kArgbMasks, 0x80123456, 0xFF123456},
        {"alpha mask 0 in a 56-byte header", 32, 56, {0x00FF0000, 0x0000FF00, 0x000000FF, 0},
         0x80123456, 0xFF123456},
        {"bytes in reverse order", 32, 40, {0x000000FF, 0x0000FF00, 0x00FF0000}, 0x00112233,
         0xFF332211},
        // Not one 0xFF byte: the field's top 8 bits.
        {"16-bit fields", 32, 40, {0xFFFF0000, 0x0000FFFF, 0}, 0x12345678, 0xFF125600},
        // 10-10-10-2: red 0x200, green 0x100, blue 3, alpha 1 -> 0x80, 0x40, 0, 85.
        {"10-10-10-2", 32, 56, {0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000},
         0x40000000 | 0x200u << 20 | 0x100u << 10 | 3, 0x55804000},
        {"10-10-10-2 white", 32, 56, {0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000},
         0xFFFFFFFF, 0xFFFFFFFF},
        {"11-11-10", 32, 40, {0xFFE00000, 0x001FFC00, 0x000003FF}, 0xFFFFFFFF, 0xFFFFFFFF},
        // 6-bit red 0x21 << 2 = 0x84; 5-bit green 0x11 << 3 = 0x88; 5-bit blue 1 << 3.
        {"6-5-5 in the low half", 32, 40, {0x0000FC00, 0x000003E0, 0x0000001F}, 0x8621,
         0xFF848808},
    });
}

TEST(DecodeMasked32, FindsTheFieldsAfreshForEveryFile) {
    const std::vector<uint32_t> k1010102 = {0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000};
    decode_spec(masked_pixel(32, 56, k1010102, 0xFFFFFFFF));
    ASSERT_TRUE(picture_is({0xFFFFFFFF}));
    decode_spec(masked_pixel(32, 56, kArgbMasks, 0x80123456));
    EXPECT_TRUE(picture_is({0x80123456}));
    decode_spec(masked_pixel(32, 40, {0x000000FF, 0x0000FF00, 0x00FF0000}, 0x00112233));
    EXPECT_TRUE(picture_is({0xFF332211}));
}

}  // namespace
