// RLE8 and RLE4 streams, byte by byte: runs, escapes, deltas, padding, and
// streams that are cut off or point outside the picture.
#include <gtest/gtest.h>

#include "decoder_test_support.h"

namespace {

using bmp_writer::BmpSpec;
using namespace decoder_test;

constexpr int kUnset = -1;  // a pixel the stream never sets: 0x00000000

struct StreamRow {
    const char* name;
    std::vector<uint8_t> stream;
    std::vector<int> want;  // grey palette indices, top row first
};

void expect_streams(uint32_t compression, int32_t width, int32_t height,
                    const std::vector<StreamRow>& rows) {
    for (const StreamRow& row : rows) {
        SCOPED_TRACE(row.name);
        BmpSpec spec;
        spec.width = width;
        spec.height = height;
        spec.bit_count = compression == BI_RLE8 ? 8 : 4;
        spec.compression = compression;
        spec.palette = grey_palette();
        spec.pixel_data = row.stream;
        decode_spec(spec);
        std::vector<ArgbPixel> want;
        for (int index : row.want) want.push_back(index == kUnset ? 0u : grey(index));
        EXPECT_TRUE(picture_is(want));
    }
}

constexpr int _ = kUnset;

// 4 x 3; stored row 0 is the bottom row of the picture.
TEST(DecodeRle8, FollowsRunsAndEscapes) {
    expect_streams(BI_RLE8, 4, 3, {
        {"runs and end of line",
         {3, 1, 0, 0, 4, 2, 0, 0, 2, 3, 0, 1},
         {3, 3, _, _,
          2, 2, 2, 2,
          1, 1, 1, _}},
        {"delta moves right and up",
         {1, 5, 0, 2, 2, 1, 1, 6, 0, 1},
         {_, _, _, _,
          _, _, _, 6,
          5, _, _, _}},
        {"a run past the right edge is dropped, not wrapped",
         {6, 7, 1, 8, 0, 0, 1, 9, 0, 1},
         {_, _, _, _,
          9, _, _, _,
          7, 7, 7, 7}},
        {"an odd absolute run is padded to 16 bits",
         {0, 3, 10, 11, 12, 0, 1, 13, 0, 1},
         {_, _, _, _,
          _, _, _, _,
          10, 11, 12, 13}},
        {"an absolute run past the edge still skips its bytes",
         {2, 1, 0, 3, 4, 5, 6, 0, 0, 0, 1, 14, 0, 1},
         {_, _, _, _,
          14, _, _, _,
          1, 1, 4, 5}},
        {"a stream without its end leaves the rest unset",
         {2, 3},
         {_, _, _, _,
          _, _, _, _,
          3, 3, _, _}},
        {"a lone last byte is ignored",
         {2, 3, 5},
         {_, _, _, _,
          _, _, _, _,
          3, 3, _, _}},
        {"a cut-off absolute run writes the pixels present",
         {0, 4, 1, 2},
         {_, _, _, _,
          _, _, _, _,
          1, 2, _, _}},
        {"a cut-off delta ends the stream",
         {1, 4, 0, 2, 1},
         {_, _, _, _,
          _, _, _, _,
          4, _, _, _}},
        {"end of bitmap ends the stream",
         {1, 1, 0, 1, 1, 2},
         {_, _, _, _,
          _, _, _, _,
          1, _, _, _}},
        {"rows past the top are not written",
         {0, 0, 0, 0, 0, 0, 4, 1, 0, 2, 0, 9, 4, 1},
         {_, _, _, _,
          _, _, _, _,
          _, _, _, _}},
        {"an index past the palette is transparent",
         {1, 20, 1, 15},
         {_, _, _, _,
          _, _, _, _,
          _, 15, _, _}},
    });
}

// 5 x 2: an encoded run alternates the high and the low nibble.
TEST(DecodeRle4, FollowsRunsAndEscapes) {
    expect_streams(BI_RLE4, 5, 2, {
        {"an encoded run alternates nibbles",
         {5, 0x12, 0, 1},
         {_, _, _, _, _,
          1, 2, 1, 2, 1}},
        {"a run past the edge is dropped",
         {7, 0xAB, 0, 0, 1, 0xC0, 0, 1},
         {12, _, _, _, _,
          10, 11, 10, 11, 10}},
        // 3 nibbles fill 2 bytes: no padding.
        {"an absolute run of 3 nibbles",
         {0, 3, 0x34, 0x5F, 2, 0x66, 0, 1},
         {_, _, _, _, _,
          3, 4, 5, 6, 6}},
        // 5 nibbles fill 3 bytes and one byte of padding.
        {"an absolute run of 5 nibbles is padded",
         {0, 5, 0x12, 0x34, 0x5F, 0x00, 0, 0, 1, 0x70, 0, 1},
         {7, _, _, _, _,
          1, 2, 3, 4, 5}},
        {"a cut-off absolute run writes the nibbles present",
         {0, 5, 0x12},
         {_, _, _, _, _,
          1, 2, _, _, _}},
        {"delta then a run",
         {0, 2, 3, 1, 2, 0x98, 0, 1},
         {_, _, _, 9, 8,
          _, _, _, _, _}},
    });
}

// Streams made by the writer's own encoders decode to the picture they encode.
TEST(DecodeRle, DecodesWriterStreams) {
    const uint32_t width = 7;
    const uint32_t height = 3;
    const std::vector<uint8_t> picture = {1, 1, 1, 1, 2, 3, 4,
                                          5, 6, 7, 8, 9, 9, 9,
                                          0, 15, 0, 15, 0, 15, 14};
    std::vector<ArgbPixel> want;
    for (uint8_t index : picture) want.push_back(grey(index));
    for (uint32_t compression : {BI_RLE8, BI_RLE4}) {
        SCOPED_TRACE(compression == BI_RLE8 ? "RLE8" : "RLE4");
        BmpSpec spec;
        spec.width = width;
        spec.height = height;
        spec.bit_count = compression == BI_RLE8 ? 8 : 4;
        spec.compression = compression;
        spec.palette = grey_palette();
        spec.pixel_data = compression == BI_RLE8 ? bmp_writer::encode_rle8(picture, width, height)
                                                 : bmp_writer::encode_rle4(picture, width, height);
        decode_spec(spec);
        EXPECT_EQ(decoder_state.format, compression == BI_RLE8 ? FORMAT_RLE8 : FORMAT_RLE4);
        EXPECT_TRUE(picture_is(want));
    }
}

}  // namespace
