// Image output: the decoded picture copied into an image of the raster
// facility, stepping by the pitch the facility reports.
#include <gtest/gtest.h>

#include "decoder_test_support.h"
#include "platform/graphics.h"

namespace {

using bmp_writer::BmpSpec;
using namespace decoder_test;

// 5 x 2, 24 bits: top row 0x010101 x 1..5, bottom row 0x111111 x 1..5.
BmpSpec five_by_two() {
    BmpSpec spec;
    spec.width = 5;
    spec.height = 2;
    spec.bit_count = 24;
    for (uint8_t row : {0x11, 0x01}) {  // bottom row stored first
        for (uint8_t x = 1; x <= 5; ++x) {
            const uint8_t level = static_cast<uint8_t>(row * x);
            spec.pixel_data.insert(spec.pixel_data.end(), {level, level, level});
        }
        spec.pixel_data.push_back(0);  // 15 bytes of pixels, 1 of filler
    }
    return spec;
}

class MakeDecodedImage : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(open_screen(64, 48, 32, 2, SCREEN_NO_FRAME | SCREEN_NO_SWITCH | SCREEN_HIGH_PRIORITY, 0),
                  0);
    }
    void TearDown() override { close_screen(); }
};

TEST_F(MakeDecodedImage, CopiesRowsByThePitchAndLeavesTheTailAlone) {
    decode_spec(five_by_two());
    ASSERT_NE(decoder_state.loaded, 0) << decoder_state.refusal;
    Image image = make_decoded_image();
    ImageInfo info{};
    ASSERT_EQ(query_image(image, &info), 0);
    EXPECT_EQ(info.width, 5);
    EXPECT_EQ(info.height, 2);
    ASSERT_EQ(info.pitch, 32) << "have pitch " << info.pitch << ", want 32 for width 5";
    const ArgbPixel want[2][8] = {
        {0xFF010101, 0xFF020202, 0xFF030303, 0xFF040404, 0xFF050505, kImageDefaultFill,
         kImageDefaultFill, kImageDefaultFill},
        {0xFF111111, 0xFF222222, 0xFF333333, 0xFF444444, 0xFF555555, kImageDefaultFill,
         kImageDefaultFill, kImageDefaultFill},
    };
    for (int y = 0; y < 2; ++y) {
        const ArgbPixel* row =
            reinterpret_cast<const ArgbPixel*>(reinterpret_cast<const uint8_t*>(info.pixels) + y * info.pitch);
        for (int x = 0; x < 8; ++x) {
            EXPECT_EQ(row[x], want[y][x])
                << "at (" << x << ", " << y << ") have " << hex(row[x]) << ", want " << hex(want[y][x]);
        }
    }
}

TEST_F(MakeDecodedImage, HandsOutACopyThatLaterDecodesLeaveAlone) {
    decode_spec(five_by_two());
    Image image = make_decoded_image();
    ImageInfo info{};
    ASSERT_EQ(query_image(image, &info), 0);

    BmpSpec other = five_by_two();
    for (uint8_t& byte : other.pixel_data) byte = 0x77;
    decode_spec(other);
    release_decoded_pixels();
    EXPECT_EQ(info.pixels[0], 0xFF010101u) << "have " << hex(info.pixels[0]);
}

TEST_F(MakeDecodedImage, YieldsTheNullImageAfterARefusal) {
    decode_spec(five_by_two());
    BmpSpec bad = five_by_two();
    bad.width = 0;
    EXPECT_EQ(load_bitmap_image(write_fixture(bmp_writer::build_bmp(bad)).c_str()), kNullImage);
    EXPECT_EQ(make_decoded_image(), kNullImage);
}

TEST_F(MakeDecodedImage, LoadBitmapImageDecodesAndCopies) {
    Image image = load_bitmap_image(write_fixture(bmp_writer::build_bmp(five_by_two())).c_str());
    ImageInfo info{};
    ASSERT_EQ(query_image(image, &info), 0);
    EXPECT_EQ(info.pixels[4], 0xFF050505u) << "have " << hex(info.pixels[4]);
}

// Without a screen the facility creates nothing, and the decoder hands out
// the null image while its own picture stays intact.
TEST(MakeDecodedImageWithoutScreen, YieldsTheNullImage) {
    close_screen();
    decode_spec(five_by_two());
    ASSERT_NE(decoder_state.loaded, 0);
    EXPECT_EQ(make_decoded_image(), kNullImage);
    EXPECT_EQ(pixel_at(4, 0), 0xFF050505u);
}

}  // namespace
