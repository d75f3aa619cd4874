// The blit kernels: every SIMD path gives the plain rule's bits, over all 256
// alphas, random colours, every tail length and misaligned starts.
#include "platform/blend_kernels.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace {

class BlendRowPath : public ::testing::TestWithParam<BlendPath> {
protected:
    void SetUp() override {
        if (!blend_path_available(GetParam())) {
            GTEST_SKIP() << blend_path_name(GetParam()) << " is not available on this CPU";
        }
    }
};

std::string path_name(const ::testing::TestParamInfo<BlendPath>& info) {
    return blend_path_name(info.param);
}

// The pixel-level results worked by hand from d + floor((s - d) * a / 256).
TEST_P(BlendRowPath, GivesHandWorkedPixels) {
    struct Row {
        const char* name;
        ArgbPixel source;
        ArgbPixel screen;
        ArgbPixel want;
    };
    const Row rows[] = {
        // red 110 + floor(145 * 128 / 256) = 182; green, blue 110 + floor(-55) = 55;
        // alpha 255 + floor(-127 * 128 / 256) = 255 - 64 = 191.
        {"half red over dark grey", 0x80FF0000u, 0xFF6E6E6Eu, 0xBFB63737u},
        // 155 + floor(-13.5) = 141: the floor goes down, not towards zero.
        {"half grey over light grey", 0x80808080u, 0xFF9B9B9Bu, 0xBF8D8D8Du},
        // 0 + floor(255 * 255 / 256) = 254: opaque does not reach the source.
        {"opaque white over black", 0xFFFFFFFFu, 0xFF000000u, 0xFFFEFEFEu},
        {"transparent leaves the screen", 0x00123456u, 0xFFABCDEFu, 0xFFABCDEFu},
        // alpha 1: 0x10 + floor((0xF0 - 0x10) * 1 / 256) = 0x10; 0xF0 + floor(-224 / 256) = 0xEF.
        {"alpha one", 0x01F010F0u, 0x3210F010u, 0x3110EF10u},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        // Nine copies, so the SIMD body and the scalar tail both see the pixel.
        std::vector<ArgbPixel> source(9, row.source);
        std::vector<ArgbPixel> screen(9, row.screen);
        blend_row(GetParam(), screen.data(), source.data(), 9);
        for (size_t i = 0; i < screen.size(); ++i) {
            EXPECT_EQ(screen[i], row.want) << "pixel " << i << ": have 0x" << std::hex << screen[i]
                                           << ", want 0x" << row.want;
        }
    }
}

// Every alpha with random colours on both sides, with runs of transparent
// pixels among them (the kernels skip those groups), against the plain path.
TEST_P(BlendRowPath, MatchesPlainRuleForEveryAlpha) {
    std::mt19937 random(20240611u);
    constexpr int kPerAlpha = 64;
    std::vector<ArgbPixel> source;
    for (int copy = 0; copy < kPerAlpha; ++copy) {
        for (uint32_t alpha = 0; alpha < 256; ++alpha) {
            source.push_back(alpha << 24 | (random() & 0xFFFFFFu));
        }
        for (int gap = 0; gap < 8 + copy % 9; ++gap) source.push_back(random() & 0xFFFFFFu);
    }
    std::vector<ArgbPixel> screen(source.size());
    for (ArgbPixel& pixel : screen) pixel = static_cast<ArgbPixel>(random());

    std::vector<ArgbPixel> want = screen;
    blend_row(BLEND_PLAIN, want.data(), source.data(), static_cast<int64_t>(source.size()));
    std::vector<ArgbPixel> have = screen;
    blend_row(GetParam(), have.data(), source.data(), static_cast<int64_t>(source.size()));
    for (size_t i = 0; i < have.size(); ++i) {
        ASSERT_EQ(have[i], want[i]) << "pixel " << i << " (source 0x" << std::hex << source[i]
                                    << " over 0x" << screen[i] << "): have 0x" << have[i]
                                    << ", want 0x" << want[i];
    }
}

// Counts from 0 to 40 at the first four start offsets: the body, the tail and
// unaligned pointers, and nothing written outside the count.
TEST_P(BlendRowPath, HandlesEveryTailAndStart) {
    std::mt19937 random(7u);
    constexpr ArgbPixel kGuard = 0x5A5A5A5Au;
    for (int offset = 0; offset < 4; ++offset) {
        for (int count = 0; count <= 40; ++count) {
            SCOPED_TRACE("offset " + std::to_string(offset) + ", count " + std::to_string(count));
            std::vector<ArgbPixel> source(offset + count + 1);
            for (ArgbPixel& pixel : source) pixel = static_cast<ArgbPixel>(random());
            std::vector<ArgbPixel> screen(offset + count + 1, kGuard);
            for (int i = 0; i < count; ++i) screen[offset + i] = static_cast<ArgbPixel>(random());
            std::vector<ArgbPixel> want = screen;
            blend_row(BLEND_PLAIN, want.data() + offset, source.data() + offset, count);
            blend_row(GetParam(), screen.data() + offset, source.data() + offset, count);
            ASSERT_EQ(screen, want);
            EXPECT_EQ(screen.back(), kGuard) << "have a write past the count";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllPaths, BlendRowPath,
                         ::testing::Values(BLEND_PLAIN, BLEND_SSE2, BLEND_AVX2), path_name);

TEST(BlendPath, FastestIsAvailable) {
    EXPECT_TRUE(blend_path_available(fastest_blend_path()));
    EXPECT_TRUE(blend_path_available(BLEND_PLAIN));
}

// Blocks of three rows between blocks of other pitches, and contiguous ones;
// narrow rows and rows long enough for the wide copy loop and its tail.
TEST(CopyBlock, CopiesRowsByTheirPitches) {
    struct Row {
        const char* name;
        int64_t width;  // pixels copied per row
        int64_t dst_pitch_pixels;
        int64_t src_pitch_pixels;
    };
    const Row rows[] = {
        {"narrow, pitched both sides", 2, 4, 3},
        {"narrow, contiguous", 2, 2, 2},
        {"wide, pitched both sides", 101, 104, 103},
        {"wide, contiguous", 301, 301, 301},
    };
    constexpr ArgbPixel kUntouched = 0x11111111u;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto source_pixel = [](int64_t x, int64_t y) {
            return static_cast<ArgbPixel>(0xA0000000u + y * 0x10000 + x);
        };
        std::vector<ArgbPixel> source(3 * row.src_pitch_pixels, 0xEEEEEEEEu);
        for (int64_t y = 0; y < 3; ++y) {
            for (int64_t x = 0; x < row.width; ++x) {
                source[y * row.src_pitch_pixels + x] = source_pixel(x, y);
            }
        }
        std::vector<ArgbPixel> target(3 * row.dst_pitch_pixels + 1, kUntouched);
        copy_block(target.data(), row.dst_pitch_pixels * 4, source.data(),
                   row.src_pitch_pixels * 4, static_cast<size_t>(row.width) * 4, 3);
        for (int64_t y = 0; y < 3; ++y) {
            for (int64_t x = 0; x < row.dst_pitch_pixels; ++x) {
                const ArgbPixel want = x < row.width ? source_pixel(x, y) : kUntouched;
                const ArgbPixel have = target[y * row.dst_pitch_pixels + x];
                ASSERT_EQ(have, want) << "(" << x << ", " << y << "): have 0x" << std::hex << have
                                      << ", want 0x" << want;
            }
        }
        EXPECT_EQ(target.back(), kUntouched) << "have a write past the block";
    }
}

}  // namespace
