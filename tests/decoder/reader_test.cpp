// Reading: the header checklist with its reasons, the palette count rule, and
// what a read leaves behind.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>

#include "decoder_test_support.h"

namespace {

using bmp_writer::BmpSpec;
using bmp_writer::build_bmp;
using bmp_writer::put_u32;
using namespace decoder_test;

// Taken while the test program starts, before any test has read a file.
const BITMAPFILEHEADER kStartFileHeader = decoder_state.file_header;
const BITMAPINFOHEADER kStartInfoHeader = decoder_state.info_header;
const uint8_t kStartLoaded = decoder_state.loaded;

TEST(DecoderState, HoldsTheHeaderDefaultsBeforeAnyRead) {
    // The file header is packed: copy its fields out before comparing.
    const uint32_t type = kStartFileHeader.bfType;
    const uint32_t size = kStartFileHeader.bfSize;
    const uint32_t off_bits = kStartFileHeader.bfOffBits;
    EXPECT_EQ(type, 0x4D42u) << "have bfType " << hex(type);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(off_bits, 54u);
    EXPECT_EQ(kStartInfoHeader.biSize, 40u);
    EXPECT_EQ(kStartInfoHeader.biWidth, 0);
    EXPECT_EQ(kStartInfoHeader.biHeight, 0);
    EXPECT_EQ(kStartInfoHeader.biPlanes, 1);
    EXPECT_EQ(kStartInfoHeader.biBitCount, 32);
    EXPECT_EQ(kStartInfoHeader.biCompression, 0u);
    EXPECT_EQ(kStartInfoHeader.biSizeImage, 0u);
    EXPECT_EQ(kStartLoaded, 0);
}

// 3 x 2, 24 bits: stride 12, 24 bytes of pixel data, 78 bytes in all.
BmpSpec good_rgb24() {
    BmpSpec spec;
    spec.width = 3;
    spec.height = 2;
    spec.bit_count = 24;
    spec.pixel_data.assign(24, 0x40);
    return spec;
}

// 2 x 1, 16 bits, BI_BITFIELDS 5-6-5 after a 40-byte header: 70 bytes.
BmpSpec masked16_two_pixels() {
    BmpSpec spec;
    spec.width = 2;
    spec.height = 1;
    spec.bit_count = 16;
    spec.compression = BI_BITFIELDS;
    spec.masks = {0xF800, 0x07E0, 0x001F};
    spec.pixel_data = {0x1F, 0x00, 0xE0, 0x07};
    return spec;
}

struct RefusalRow {
    const char* name;
    std::function<std::vector<uint8_t>()> file;
    const char* reason;
};

std::vector<uint8_t> with_spec(const std::function<void(BmpSpec&)>& change) {
    BmpSpec spec = good_rgb24();
    change(spec);
    return build_bmp(spec);
}

TEST(ReadBitmapFile, RefusesEachBrokenHeaderWithItsReason) {
    const RefusalRow rows[] = {
        {"54 bytes", [] { auto b = build_bmp(good_rgb24()); b.resize(54); return b; },
         "file is 54 bytes, too short for the headers"},
        {"signature MB", [] { return with_spec([](BmpSpec& s) { s.signature = 0x424D; }); },
         "not a BMP file (signature 0x424D)"},
        {"OS/2 core header",
         [] {
             return with_spec([](BmpSpec& s) {
                 s.info_size = 12;
                 s.gap.assign(16, 0);  // past 54 bytes, so the header is looked at
             });
         },
         "OS/2"},
        {"biWidth 0", [] { return with_spec([](BmpSpec& s) { s.width = 0; }); }, "biWidth 0"},
        {"biHeight 0", [] { return with_spec([](BmpSpec& s) { s.height = 0; }); }, "biHeight 0"},
        {"biHeight INT32_MIN", [] { return with_spec([](BmpSpec& s) { s.height = INT32_MIN; }); },
         "biHeight -2147483648"},
        {"negative biWidth is read unsigned",
         [] { return with_spec([](BmpSpec& s) { s.width = -3; }); },
         "4294967293 x 2 pixels exceeds the limit of 2^28"},
        // 16385^2 = 268,468,225 > 2^28 = 268,435,456.
        {"16385 x 16385",
         [] { return with_spec([](BmpSpec& s) { s.width = s.height = 16385; }); },
         "16385 x 16385 pixels exceeds the limit of 2^28"},
        // Exactly 2^28 passes the limit; its rows need 16384 x 3 x 16384 bytes.
        {"16384 x 16384 passes the limit, not the data size",
         [] { return with_spec([](BmpSpec& s) { s.width = s.height = 16384; }); },
         "pixel data holds 24 bytes, rows need 805306368"},
        {"16 bits with RLE8",
         [] { return with_spec([](BmpSpec& s) { s.bit_count = 16; s.compression = BI_RLE8; }); },
         "biBitCount 16 with biCompression 1 is not a supported layout"},
        {"2 bits", [] { return with_spec([](BmpSpec& s) { s.bit_count = 2; }); },
         "biBitCount 2 with biCompression 0"},
        {"32 bits with BI_ALPHABITFIELDS",
         [] { return with_spec([](BmpSpec& s) { s.bit_count = 32; s.compression = 6; }); },
         "biBitCount 32 with biCompression 6"},
        {"24 bits RLE8", [] { return with_spec([](BmpSpec& s) { s.compression = 1; }); },
         "24-bit data with compression 1"},
        {"24 bits JPEG", [] { return with_spec([](BmpSpec& s) { s.compression = 4; }); },
         "24-bit data with compression 4"},
        {"1 bit RLE4",
         [] { return with_spec([](BmpSpec& s) { s.bit_count = 1; s.compression = 2; }); },
         "1-bit data with compression 2"},
        {"top-down RLE8",
         [] {
             return with_spec([](BmpSpec& s) {
                 s.bit_count = 8;
                 s.compression = BI_RLE8;
                 s.height = -2;
                 s.pixel_data = {0, 1};
             });
         },
         "top-down RLE file (biHeight -2)"},
        {"masked file of 70 bytes", [] { return build_bmp(masked16_two_pixels()); },
         "file is 70 bytes, too short for its channel masks"},
        {"red mask with a gap",
         [] {
             return with_spec([](BmpSpec& s) {
                 s.bit_count = 32;
                 s.compression = BI_BITFIELDS;
                 s.masks = {0x00FF00FF, 0x0000FF00, 0x000000FF};
                 s.pixel_data.assign(24, 0);
             });
         },
         "red mask 0x00FF00FF is not one contiguous run of bits"},
        {"alpha mask with a gap in a 56-byte header",
         [] {
             return with_spec([](BmpSpec& s) {
                 s.bit_count = 32;
                 s.compression = BI_BITFIELDS;
                 s.info_size = 56;
                 s.masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xF0F00000};
                 s.pixel_data.assign(24, 0);
             });
         },
         "alpha mask 0xF0F00000 is not one contiguous run of bits"},
        {"biSizeImage 0", [] { return with_spec([](BmpSpec& s) { s.size_image = 0; }); },
         "biSizeImage 0 does not match the 24 bytes of pixel data"},
        {"bytes after the pixel data",
         [] { return with_spec([](BmpSpec& s) { s.trailing = {0, 0}; }); },
         "biSizeImage 24 does not match the 26 bytes of pixel data"},
        {"bfOffBits past the end", [] { return with_spec([](BmpSpec& s) { s.off_bits = 1000; }); },
         "bfOffBits 1000 lies past the end of the 78-byte file"},
        {"bfOffBits at the end",
         [] {
             return with_spec([](BmpSpec& s) {
                 s.off_bits = 78;
                 s.size_image = 0;
             });
         },
         "no pixel data"},
        {"short pixel data", [] { return with_spec([](BmpSpec& s) { s.pixel_data.resize(16); }); },
         "pixel data holds 16 bytes, rows need 24"},
    };
    for (const RefusalRow& row : rows) {
        SCOPED_TRACE(row.name);
        decode_bytes(row.file());
        EXPECT_TRUE(refused_with(row.reason));
    }
}

TEST(ReadBitmapFile, RefusesAMissingFile) {
    decode_bitmap("/nonexistent/folder/missing.bmp");
    EXPECT_TRUE(refused_with("cannot open"));
}

// Files just on the accepting side of a check, or outside what it looks at.
TEST(ReadBitmapFile, AcceptsFilesAtTheEdgeOfEachCheck) {
    struct Row {
        const char* name;
        std::function<std::vector<uint8_t>()> file;
        std::vector<ArgbPixel> want;
    };
    const Row rows[] = {
        // A one-byte RLE stream does nothing: the pixel stays unset.
        {"55 bytes",
         [] {
             BmpSpec s;
             s.width = s.height = 1;
             s.bit_count = 8;
             s.compression = BI_RLE8;
             s.pixel_data = {0};
             return build_bmp(s);
         },
         {0x00000000}},
        // One gap byte after the masks makes 71; bytes 66-69 are no alpha mask.
        {"masked file of 71 bytes",
         [] {
             BmpSpec s = masked16_two_pixels();
             s.gap = {0xFF};
             return build_bmp(s);
         },
         {0xFF0000F8, 0xFF00FC00}},
        {"24 bits with an unknown compression 7",
         [] {
             BmpSpec s;
             s.width = 1;
             s.height = 1;
             s.compression = 7;
             s.pixel_data = {0x01, 0x02, 0x03, 0xEE};
             return build_bmp(s);
         },
         {0xFF030201}},
        {"1 bit with an unknown compression 6",
         [] {
             BmpSpec s;
             s.width = 2;
             s.height = 1;
             s.bit_count = 1;
             s.compression = 6;
             s.palette = {0x000000, 0xFFFFFF};
             s.pixel_data = {0x40, 0, 0, 0};
             return build_bmp(s);
         },
         {0xFF000000, 0xFFFFFFFF}},
        {"planes 0 and a 41-byte header are not checked",
         [] {
             BmpSpec s;
             s.width = 1;
             s.height = 1;
             s.planes = 0;
             s.info_size = 41;
             s.pixel_data = {0x01, 0x02, 0x03, 0xEE};
             return build_bmp(s);
         },
         {0xFF030201}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        decode_bytes(row.file());
        EXPECT_STREQ(decoder_state.refusal, "");
        EXPECT_TRUE(picture_is(row.want));
    }
}

// The palette count rule and where the entries come from, seen through the
// pixels that use them. Grey entry i is i x 0x111111.
TEST(ReadBitmapFile, CountsAndReadsThePalette) {
    struct Row {
        const char* name;
        std::function<std::vector<uint8_t>()> file;
        uint32_t want_count;
        std::vector<ArgbPixel> want;
    };
    // 4 x 1, 8 bits, indices 0, 1, 2, 3 unless changed.
    auto pal8 = [](const std::function<void(BmpSpec&)>& change) {
        BmpSpec s;
        s.width = 4;
        s.height = 1;
        s.bit_count = 8;
        s.palette = grey_palette();
        s.pixel_data = {0, 1, 2, 3};
        change(s);
        return build_bmp(s);
    };
    const Row rows[] = {
        {"entry bytes are blue, green, red, reserved",
         [&] { return pal8([](BmpSpec& s) { s.palette = {0x04030201}; s.pixel_data = {0, 0, 0, 0}; }); },
         1,
         {0xFF030201, 0xFF030201, 0xFF030201, 0xFF030201}},
        {"biClrImportant above biClrUsed wins",
         [&] {
             return pal8([](BmpSpec& s) {
                 s.palette.resize(5);
                 s.clr_used = 2;
                 s.clr_important = 5;
                 s.pixel_data = {1, 2, 4, 5};
             });
         },
         5,
         {grey(1), grey(2), grey(4), 0x00000000}},
        {"biClrUsed counts modulo 65536",
         [&] {
             return pal8([](BmpSpec& s) {
                 s.palette.resize(3);
                 s.clr_used = 0x10002;
             });
         },
         2,
         {grey(0), grey(1), 0x00000000, 0x00000000}},
        // 0x10000 is larger than 3 but counts as 0: the gap of 4 entries decides.
        {"biClrImportant 65536 falls back to the gap",
         [&] {
             return pal8([](BmpSpec& s) {
                 s.palette.resize(4);
                 s.clr_used = 3;
                 s.clr_important = 0x10000;
             });
         },
         4,
         {grey(0), grey(1), grey(2), grey(3)}},
        {"4 bits, no counts, bfOffBits 118: 16 entries",
         [] {
             BmpSpec s;
             s.width = 2;
             s.height = 1;
             s.bit_count = 4;
             s.palette = grey_palette();
             s.clr_used = 0;
             s.pixel_data = {0xF1, 0, 0, 0};
             return build_bmp(s);
         },
         16,
         {grey(15), grey(1)}},
        // 14 + 124 + 256 x 4 = 1162; the palette starts at offset 138.
        {"124-byte header, no counts: 256 entries from offset 138",
         [&] {
             return pal8([](BmpSpec& s) {
                 s.info_size = 124;
                 s.palette.assign(256, 0);
                 s.palette[255] = 0xABCDEF;
                 s.palette[1] = 0x123456;
                 s.clr_used = 0;
                 s.pixel_data = {255, 1, 0, 2};
             });
         },
         256,
         {0xFFABCDEF, 0xFF123456, 0xFF000000, 0xFF000000}},
        {"a count above 256 is limited",
         [&] {
             return pal8([](BmpSpec& s) {
                 s.palette.assign(256, 0x0000FF);
                 s.clr_used = 300;
                 s.pixel_data = {255, 0, 0, 0};
             });
         },
         256,
         {0xFF0000FF, 0xFF0000FF, 0xFF0000FF, 0xFF0000FF}},
        // biSize 1000 puts the palette beyond the file: its bytes read as 0.
        {"entries past the end of the file are opaque black",
         [&] {
             auto bytes = pal8([](BmpSpec& s) { s.palette.resize(2); });
             put_u32(bytes, bmp_writer::kOffsetInfoSize, 1000);
             return bytes;
         },
         2,
         {0xFF000000, 0xFF000000, 0x00000000, 0x00000000}},
        {"1 bit takes its colours from the palette (white first)",
         [] {
             BmpSpec s;
             s.width = 3;
             s.height = 1;
             s.bit_count = 1;
             s.palette = {0xFFFFFF, 0x000000};
             s.pixel_data = {0x40, 0, 0, 0};  // bits 0, 1, 0
             return build_bmp(s);
         },
         2,
         {0xFFFFFFFF, 0xFF000000, 0xFFFFFFFF}},
        {"1 bit without entries is black and white",
         [] {
             BmpSpec s;
             s.width = 3;
             s.height = 1;
             s.bit_count = 1;
             s.clr_used = 0;
             s.pixel_data = {0x40, 0, 0, 0};
             return build_bmp(s);
         },
         0,
         {0xFF000000, 0xFFFFFFFF, 0xFF000000}},
        {"1 bit with one entry leaves index 1 transparent",
         [] {
             BmpSpec s;
             s.width = 3;
             s.height = 1;
             s.bit_count = 1;
             s.palette = {0x123456};
             s.pixel_data = {0x40, 0, 0, 0};
             return build_bmp(s);
         },
         1,
         {0xFF123456, 0x00000000, 0xFF123456}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        decode_bytes(row.file());
        EXPECT_EQ(decoder_state.palette_count, row.want_count)
            << "have " << decoder_state.palette_count << " entries, want " << row.want_count;
        EXPECT_TRUE(picture_is(row.want));
    }
}

TEST(ReadBitmapFile, ClearsThePaletteBetweenFiles) {
    BmpSpec full;
    full.width = 1;
    full.height = 1;
    full.bit_count = 8;
    full.palette.assign(256, 0xFFFFFF);
    full.pixel_data = {5, 0, 0, 0};
    decode_spec(full);
    ASSERT_TRUE(picture_is({0xFFFFFFFF}));

    BmpSpec two = full;
    two.palette.resize(2);
    decode_spec(two);
    EXPECT_TRUE(picture_is({0x00000000})) << "index 5 lies past this file's two entries";
}

TEST(ReadBitmapFile, ARefusalAfterASuccessReleasesEverything) {
    decode_spec(good_rgb24());
    ASSERT_NE(decoder_state.loaded, 0);
    ASSERT_NE(decoded_pixels(), nullptr);

    BmpSpec bad = good_rgb24();
    bad.size_image = 0;
    decode_spec(bad);
    EXPECT_TRUE(refused_with("biSizeImage 0"));
    EXPECT_EQ(decoded_pixels(), nullptr);
    EXPECT_EQ(pixel_at(0, 0), 0u);
    EXPECT_EQ(decoder_state.current_pixel, 0u);
    EXPECT_EQ(make_decoded_image(), kNullImage);
}

TEST(ReadBitmapFile, ASuccessClearsTheEarlierReason) {
    BmpSpec bad = good_rgb24();
    bad.signature = 0;
    decode_spec(bad);
    ASSERT_STRNE(decoder_state.refusal, "");
    decode_spec(good_rgb24());
    EXPECT_STREQ(decoder_state.refusal, "");
    EXPECT_NE(decoder_state.loaded, 0);
}

TEST(ReleaseDecodedPixels, FreesTheBufferOnceAndKeepsNothingLoaded) {
    decode_spec(good_rgb24());
    ASSERT_NE(decoder_state.loaded, 0);
    release_decoded_pixels();
    EXPECT_EQ(decoder_state.loaded, 0);
    EXPECT_EQ(decoded_pixels(), nullptr);
    release_decoded_pixels();  // nothing loaded: does nothing
    EXPECT_EQ(decoder_state.loaded, 0);
    EXPECT_EQ(pixel_at(0, 0), 0u);
}

// A read that is never converted leaves its raw bytes behind; the next read
// gives them back (the leak checker of the sanitizer build sees the rest).
TEST(ReadBitmapFile, ReadingAgainBeforeConversionGivesTheFirstBytesBack) {
    const std::string path = write_fixture(build_bmp(good_rgb24()));
    read_bitmap_file(path.c_str());
    ASSERT_NE(decoder_state.pixel_bytes, nullptr);
    read_bitmap_file(path.c_str());
    ASSERT_NE(decoder_state.loaded, 0);
    EXPECT_EQ(decoder_state.pixel_bytes[0], 0x40) << "have the stored bytes of the second read";
    decode_bitmap(path.c_str());
    EXPECT_EQ(decoder_state.pixel_bytes, nullptr);
}

TEST(ReadBitmapFile, TakesTopDownRowsWithAPositiveHeight) {
    BmpSpec spec = good_rgb24();
    spec.height = -2;
    decode_spec(spec);
    EXPECT_EQ(decoder_state.height, 2u);
    EXPECT_NE(decoder_state.top_down, 0);
    spec.height = 2;
    decode_spec(spec);
    EXPECT_EQ(decoder_state.top_down, 0);
}

}  // namespace
