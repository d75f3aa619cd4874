// The fast row kernels: hand-worked pixels for each layout, and every path
// against the plain loop over random rows of every width up to 70, with and
// without streaming stores, from source buffers exactly as long as the row's
// pixel bytes (so a read past them shows under AddressSanitizer).
#include "decoder/row_kernels.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

class RowKernelPath : public ::testing::TestWithParam<RowPath> {
protected:
    void SetUp() override {
        if (!row_path_available(GetParam())) {
            GTEST_SKIP() << row_path_name(GetParam()) << " is not available on this CPU";
        }
    }
};

std::string path_name(const ::testing::TestParamInfo<RowPath>& info) {
    return row_path_name(info.param);
}

// 16 distinct palette colours; only the first two matter for 1-bit rows.
std::vector<ArgbPixel> test_palette() {
    std::vector<ArgbPixel> palette(256, 0);
    for (uint32_t i = 0; i < 16; ++i) palette[i] = 0xFF000000u | ((i * 0x111111u) ^ 0x00A05000u);
    return palette;
}

void expect_pixels(const std::vector<ArgbPixel>& have, const std::vector<ArgbPixel>& want) {
    ASSERT_EQ(have.size(), want.size());
    for (size_t x = 0; x < have.size(); ++x) {
        EXPECT_EQ(have[x], want[x]) << "x " << x << ": have 0x" << std::hex << have[x]
                                    << ", want 0x" << want[x];
    }
}

// Each row repeats its pattern to 19 pixels, so a path's wide body and its
// tail both produce it.
TEST_P(RowKernelPath, GivesHandWorkedPixels) {
    const RowPath path = GetParam();
    const std::vector<ArgbPixel> palette = test_palette();
    constexpr uint32_t kWidth = 19;
    {
        SCOPED_TRACE("1 bit: 0xA0 is on, off, on, then off");
        const std::vector<uint8_t> source = {0xA0, 0xA0, 0xA0};
        std::vector<ArgbPixel> have(kWidth);
        row_kernel_mono1(path, false, source.data(), have.data(), kWidth, palette.data());
        std::vector<ArgbPixel> want;
        for (uint32_t x = 0; x < kWidth; ++x) want.push_back(x % 8 == 0 || x % 8 == 2 ? palette[1] : palette[0]);
        expect_pixels(have, want);
    }
    {
        SCOPED_TRACE("4 bits: 0x1F is entry 1, then entry 15");
        const std::vector<uint8_t> source(10, 0x1F);
        std::vector<ArgbPixel> have(kWidth);
        row_kernel_pal4(path, false, source.data(), have.data(), kWidth, palette.data());
        std::vector<ArgbPixel> want;
        for (uint32_t x = 0; x < kWidth; ++x) want.push_back(x % 2 == 0 ? palette[1] : palette[15]);
        expect_pixels(have, want);
    }
    {
        SCOPED_TRACE("8 bits: each byte is a palette index; 16-bit table: little-endian index");
        std::vector<uint8_t> source;
        std::vector<ArgbPixel> want;
        for (uint32_t x = 0; x < kWidth; ++x) {
            source.push_back(static_cast<uint8_t>(x % 16));
            want.push_back(palette[x % 16]);
        }
        std::vector<ArgbPixel> have(kWidth);
        for (bool stream : {false, true}) {
            row_kernel_pal8(path, stream, source.data(), have.data(), kWidth, palette.data());
            expect_pixels(have, want);
        }
        // The table's entry 0x0201 is read for the bytes 01 02.
        std::vector<ArgbPixel> table(65536, 0);
        table[0x0201] = 0x11223344u;
        table[0x0102] = 0x55667788u;
        std::vector<uint8_t> pairs;
        for (uint32_t x = 0; x < kWidth; ++x) pairs.insert(pairs.end(), {0x01, 0x02});
        for (bool stream : {false, true}) {
            row_kernel_lookup16(path, stream, pairs.data(), have.data(), kWidth, table.data());
            expect_pixels(have, std::vector<ArgbPixel>(kWidth, 0x11223344u));
        }
    }
    {
        SCOPED_TRACE("5-5-5: bit 15 unused, fields widened by a plain shift");
        const uint16_t words[] = {0x7FFF, 0x7C00, 0x03E0, 0x001F, 0x8000, 0x4210};
        const ArgbPixel results[] = {0xFFF8F8F8u, 0xFFF80000u, 0xFF00F800u,
                                     0xFF0000F8u, 0xFF000000u, 0xFF808080u};
        std::vector<uint8_t> source;
        std::vector<ArgbPixel> want;
        for (uint32_t x = 0; x < kWidth; ++x) {
            source.push_back(static_cast<uint8_t>(words[x % 6] & 0xFF));
            source.push_back(static_cast<uint8_t>(words[x % 6] >> 8));
            want.push_back(results[x % 6]);
        }
        std::vector<ArgbPixel> have(kWidth);
        row_kernel_rgb555(path, false, source.data(), have.data(), kWidth);
        expect_pixels(have, want);
    }
    {
        SCOPED_TRACE("24 bits: blue, green, red bytes; alpha 0xFF");
        std::vector<uint8_t> source;
        std::vector<ArgbPixel> want;
        for (uint32_t x = 0; x < kWidth; ++x) {
            const uint8_t b = static_cast<uint8_t>(x);
            source.insert(source.end(), {b, 0x80, 0xFE});
            want.push_back(0xFFFE8000u | b);
        }
        std::vector<ArgbPixel> have(kWidth);
        row_kernel_rgb24(path, false, source.data(), have.data(), kWidth);
        expect_pixels(have, want);
    }
    {
        SCOPED_TRACE("32 bits: the stored little-endian word, and the OR of all pixels");
        std::vector<uint8_t> source;
        std::vector<ArgbPixel> want;
        for (uint32_t x = 0; x < kWidth; ++x) {
            source.insert(source.end(), {0x01, 0x02, 0x03, static_cast<uint8_t>(x == 17 ? 0x40 : 0)});
            want.push_back(x == 17 ? 0x40030201u : 0x00030201u);
        }
        std::vector<ArgbPixel> have(kWidth);
        EXPECT_EQ(row_kernel_rgb32(path, false, source.data(), have.data(), kWidth), 0x40030201u);
        expect_pixels(have, want);
    }
    {
        SCOPED_TRACE("32-bit masks: red in byte 0, green 3, blue 1, alpha 2");
        std::vector<uint8_t> source;
        std::vector<ArgbPixel> want;
        for (uint32_t x = 0; x < kWidth; ++x) {
            source.insert(source.end(), {0x11, 0x22, 0x33, static_cast<uint8_t>(x)});
            want.push_back(0x33110022u | uint32_t{static_cast<uint8_t>(x)} << 8);
        }
        std::vector<ArgbPixel> have(kWidth);
        row_kernel_shuffle32(path, false, source.data(), have.data(), kWidth,
                             ByteOrder{0, 3, 1, 2, 0});
        expect_pixels(have, want);
        SCOPED_TRACE("without an alpha mask every pixel is opaque");
        row_kernel_shuffle32(path, false, source.data(), have.data(), kWidth,
                             ByteOrder{0, 3, 1, 0, 0xFF000000u});
        for (ArgbPixel& pixel : want) pixel |= 0xFF000000u;
        expect_pixels(have, want);
    }
}

// Random rows of every width from 0 to 70, written at the first four pixel
// offsets of the target (aligned and not), plain and streaming stores.
TEST_P(RowKernelPath, MatchesPlainLoopOnRandomRows) {
    const RowPath path = GetParam();
    std::mt19937 random(1234u);
    std::vector<ArgbPixel> palette(256);
    for (ArgbPixel& colour : palette) colour = static_cast<ArgbPixel>(random());
    std::vector<ArgbPixel> table(65536);
    for (ArgbPixel& colour : table) colour = static_cast<ArgbPixel>(random());
    const ByteOrder orders[] = {{2, 1, 0, 3, 0}, {1, 2, 3, 0, 0}, {3, 0, 2, 0, 0xFF000000u}};

    for (uint32_t width = 0; width <= 70; ++width) {
        for (int offset = 0; offset < 4; ++offset) {
            for (bool stream : {false, true}) {
                SCOPED_TRACE("width " + std::to_string(width) + ", offset " +
                             std::to_string(offset) + (stream ? ", streaming" : ""));
                auto random_bytes = [&](size_t count) {
                    std::vector<uint8_t> bytes(count);
                    for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(random());
                    return bytes;
                };
                // Each layout's row is exactly its pixels' bytes, nothing after.
                const auto bits1 = random_bytes((width + 7) / 8);
                const auto bits4 = random_bytes((width + 1) / 2);
                const auto bytes16 = random_bytes(2 * size_t{width});
                const auto bytes24 = random_bytes(3 * size_t{width});
                const auto bytes32 = random_bytes(4 * size_t{width});

                std::vector<ArgbPixel> have(width + offset + 1, 0x5A5A5A5Au);
                std::vector<ArgbPixel> want = have;
                ArgbPixel* h = have.data() + offset;
                ArgbPixel* w = want.data() + offset;

                row_kernel_mono1(path, stream, bits1.data(), h, width, palette.data());
                row_kernel_mono1(ROW_PLAIN, false, bits1.data(), w, width, palette.data());
                ASSERT_EQ(have, want) << "1 bit";
                row_kernel_pal4(path, stream, bits4.data(), h, width, palette.data());
                row_kernel_pal4(ROW_PLAIN, false, bits4.data(), w, width, palette.data());
                ASSERT_EQ(have, want) << "4 bits";
                const auto bytes8 = random_bytes(width);
                row_kernel_pal8(path, stream, bytes8.data(), h, width, palette.data());
                row_kernel_pal8(ROW_PLAIN, false, bytes8.data(), w, width, palette.data());
                ASSERT_EQ(have, want) << "8 bits";
                row_kernel_lookup16(path, stream, bytes16.data(), h, width, table.data());
                row_kernel_lookup16(ROW_PLAIN, false, bytes16.data(), w, width, table.data());
                ASSERT_EQ(have, want) << "16-bit table";
                row_kernel_rgb555(path, stream, bytes16.data(), h, width);
                row_kernel_rgb555(ROW_PLAIN, false, bytes16.data(), w, width);
                ASSERT_EQ(have, want) << "5-5-5";
                row_kernel_rgb24(path, stream, bytes24.data(), h, width);
                row_kernel_rgb24(ROW_PLAIN, false, bytes24.data(), w, width);
                ASSERT_EQ(have, want) << "24 bits";
                const uint32_t have_any = row_kernel_rgb32(path, stream, bytes32.data(), h, width);
                const uint32_t want_any = row_kernel_rgb32(ROW_PLAIN, false, bytes32.data(), w, width);
                ASSERT_EQ(have, want) << "32 bits";
                ASSERT_EQ(have_any, want_any) << "32 bits, OR of the pixels";
                for (const ByteOrder& order : orders) {
                    row_kernel_shuffle32(path, stream, bytes32.data(), h, width, order);
                    row_kernel_shuffle32(ROW_PLAIN, false, bytes32.data(), w, width, order);
                    ASSERT_EQ(have, want) << "32-bit masks, red byte " << order.red;
                }
            }
        }
    }
}

// Run fills of every length up to 160 at four offsets, with and without
// streaming stores (runs of 64 and more stream): the pattern starts with the
// even colour whatever the alignment, and nothing past the count changes.
TEST_P(RowKernelPath, FillsAlternatingPairs) {
    constexpr ArgbPixel kEven = 0xFF102030u;
    constexpr ArgbPixel kOdd = 0x80405060u;
    constexpr ArgbPixel kGuard = 0x5A5A5A5Au;
    for (int offset = 0; offset < 4; ++offset) {
        for (uint64_t count = 0; count <= 160; ++count) {
          for (bool stream : {false, true}) {
            SCOPED_TRACE("offset " + std::to_string(offset) + ", count " + std::to_string(count) +
                         (stream ? ", streaming" : ""));
            std::vector<ArgbPixel> have(offset + count + 1, kGuard);
            fill_pixel_pair(GetParam(), stream, have.data() + offset, count, kEven, kOdd);
            finish_streamed_runs();
            for (size_t i = 0; i < have.size(); ++i) {
                const bool inside = i >= static_cast<size_t>(offset) && i < offset + count;
                const ArgbPixel want =
                    !inside ? kGuard : ((i - offset) % 2 == 0 ? kEven : kOdd);
                ASSERT_EQ(have[i], want) << "pixel " << i << ": have 0x" << std::hex << have[i]
                                         << ", want 0x" << want;
            }
          }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllPaths, RowKernelPath, ::testing::Values(ROW_PLAIN, ROW_AVX2),
                         path_name);

}  // namespace
