// Headless tests of the raster core. The screen lives in memory (the headless
// back end), so every page can be read back through visible_page().
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <mutex>
#include <string>
#include <vector>

#include "platform/display.h"
#include "platform/graphics.h"

namespace {

std::string hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

ArgbPixel* pixel_in(ArgbPixel* first, int64_t pitch, int64_t x, int64_t y) {
    return reinterpret_cast<ArgbPixel*>(reinterpret_cast<unsigned char*>(first) + y * pitch) + x;
}

ArgbPixel screen_at(int64_t x, int64_t y) {
    std::lock_guard<std::mutex> guard(facility_lock());
    const VisiblePage page = visible_page();
    return *pixel_in(const_cast<ArgbPixel*>(page.pixels), page.pitch, x, y);
}

ImageInfo info_of(Image image) {
    ImageInfo info{};
    EXPECT_EQ(query_image(image, &info), 0);
    return info;
}

ArgbPixel image_at(Image image, int64_t x, int64_t y) {
    const ImageInfo info = info_of(image);
    return *pixel_in(info.pixels, info.pitch, x, y);
}

// Writes the pixels of an image directly, as the decoder does, stepping by the pitch.
void fill_image(Image image, ArgbPixel (*colour)(int64_t x, int64_t y)) {
    const ImageInfo info = info_of(image);
    for (int64_t y = 0; y < info.height; ++y)
        for (int64_t x = 0; x < info.width; ++x) *pixel_in(info.pixels, info.pitch, x, y) = colour(x, y);
}

Image solid_image(int32_t width, int32_t height, ArgbPixel colour) {
    Image image = create_image(width, height, 32);
    EXPECT_NE(image, kNullImage);
    const ImageInfo info = info_of(image);
    for (int64_t y = 0; y < height; ++y)
        for (int64_t x = 0; x < width; ++x) *pixel_in(info.pixels, info.pitch, x, y) = colour;
    return image;
}

// Every byte of an image's storage as a list of pixels, row tails included.
std::vector<ArgbPixel> storage_of(Image image, int64_t bytes) {
    const ImageInfo info = info_of(image);
    return std::vector<ArgbPixel>(info.pixels, info.pixels + bytes / 4);
}

// The blend written out on its own: d + floor((s - d) * a / 256), with the
// division done in floating point and floored, not by a shift.
uint32_t reference_channel(uint32_t s, uint32_t d, uint32_t a) {
    const double moved = std::floor((static_cast<double>(s) - static_cast<double>(d)) * a / 256.0);
    return static_cast<uint32_t>(static_cast<double>(d) + moved);
}

// An 8 x 6 screen, opened fresh for every test.
class OpenSmallScreen : public ::testing::Test {
protected:
    static constexpr int32_t kWidth = 8;
    static constexpr int32_t kHeight = 6;
    void SetUp() override { ASSERT_EQ(open_screen(kWidth, kHeight, 32, 2, 0, 0), 0); }
    void TearDown() override { close_screen(); }
};
using VisiblePageGeneration = OpenSmallScreen;
using CreateImage = OpenSmallScreen;
using AlphaBlit = OpenSmallScreen;
using SetPixel = OpenSmallScreen;
using DrawImage = OpenSmallScreen;
using CaptureScreen = OpenSmallScreen;

TEST(RoundCoordinate, HalvesGoAwayFromZero) {
    struct Row {
        float value;
        int64_t want;
    };
    const Row rows[] = {
        {0.5f, 1},         {-0.5f, -1},        {1.5f, 2},       {2.5f, 3},   {-2.5f, -3},
        {0.49999997f, 0},  {-0.49999997f, 0},  {0.0f, 0},       {-0.0f, 0},  {1.4f, 1},
        {-1.6f, -2},       {8388607.5f, 8388608},  // the largest float with a fraction
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.value);
        const int64_t have = round_coordinate(row.value);
        EXPECT_EQ(have, row.want) << "have " << have << ", want " << row.want;
    }
}

TEST(RoundCoordinate, HugeAndNaNLandOffEveryTarget) {
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_GT(round_coordinate(3e38f), int64_t{INT32_MAX});
    EXPECT_GT(round_coordinate(inf), int64_t{INT32_MAX});
    EXPECT_LT(round_coordinate(-3e38f), 0);
    EXPECT_LT(round_coordinate(-inf), 0);
    EXPECT_LT(round_coordinate(std::nanf("")), 0);
}

TEST(OpenScreen, RefusesSizesThatAreNotPositive) {
    struct Row {
        int32_t width, height;
    };
    const Row rows[] = {{0, 5}, {5, 0}, {-1, 5}, {5, -1}, {INT32_MIN, 5}, {0, 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.width << " x " << row.height);
        ASSERT_EQ(open_screen(4, 4, 32, 2, 0, 0), 0);
        EXPECT_NE(open_screen(row.width, row.height, 32, 2, 0, 0), 0);
        // The screen that was open is closed first, so nothing stays open.
        EXPECT_FALSE(screen_is_open());
        EXPECT_EQ(create_image(2, 2, 32), kNullImage);
    }
}

TEST(OpenScreen, ClearsThePagesAndReopensAtANewSize) {
    ASSERT_EQ(open_screen(3, 2, 32, 2, 0, 0), 0);
    set_pixel(kNullImage, 1, 1, 0xFF123456u);
    ASSERT_EQ(open_screen(5, 4, 32, 2, 0, 0), 0);
    {
        std::lock_guard<std::mutex> guard(facility_lock());
        const VisiblePage page = visible_page();
        ASSERT_NE(page.pixels, nullptr);
        EXPECT_EQ(page.width, 5);
        EXPECT_EQ(page.height, 4);
    }
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x) {
            SCOPED_TRACE(testing::Message() << "(" << x << ", " << y << ")");
            EXPECT_EQ(screen_at(x, y), 0xFF000000u)
                << "have " << hex(screen_at(x, y)) << ", want 0xFF000000";
        }
    close_screen();
    EXPECT_FALSE(screen_is_open());
    std::lock_guard<std::mutex> guard(facility_lock());
    EXPECT_EQ(visible_page().pixels, nullptr);
}

uint64_t current_generation() {
    std::lock_guard<std::mutex> guard(facility_lock());
    return visible_page().generation;
}

TEST_F(VisiblePageGeneration, ChangesWithEveryDrawingOnTheScreen) {
    Image image = solid_image(2, 2, 0xFF00FF00u);
    struct Row {
        const char* name;
        void (*draw)(Image);
    };
    const Row rows[] = {
        {"set pixel", [](Image) { set_pixel(kNullImage, 1, 1, 0xFF0000FFu); }},
        {"copy", [](Image image) { draw_image(0, 0, image, BLIT_COPY); }},
        {"alpha", [](Image image) { draw_image(3, 3, image, BLIT_ALPHA); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const uint64_t before = current_generation();
        row.draw(image);
        EXPECT_NE(current_generation(), before) << "have the same generation " << before;
    }
}

TEST_F(CreateImage, PadsThePitchAndFillsTheTailsWithMagenta) {
    struct Row {
        int32_t width, height;
        int64_t pitch;
    };
    const Row rows[] = {{5, 3, 32}, {4, 2, 16}, {1, 1, 16}, {1366, 2, 5472}, {1920, 1, 7680}};
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.width << " x " << row.height);
        Image image = create_image(row.width, row.height, 32);
        ASSERT_NE(image, kNullImage);
        const ImageInfo info = info_of(image);
        EXPECT_EQ(info.width, row.width);
        EXPECT_EQ(info.height, row.height);
        EXPECT_EQ(info.bytes_per_pixel, 4);
        EXPECT_EQ(info.pitch, row.pitch) << "have " << info.pitch << ", want " << row.pitch;
        EXPECT_EQ(info.size_bytes, row.pitch * row.height);
        // Every slot of every row, the ones past the width included.
        for (int64_t y = 0; y < row.height; ++y)
            for (int64_t x = 0; x < row.pitch / 4; ++x) {
                const ArgbPixel have = *pixel_in(info.pixels, info.pitch, x, y);
                ASSERT_EQ(have, 0xFFFF00FFu)
                    << "at (" << x << ", " << y << ") have " << hex(have) << ", want 0xFFFF00FF";
            }
    }
}

TEST_F(CreateImage, RefusesSizesNotPositiveOrTooLarge) {
    struct Row {
        int32_t width, height;
    };
    // The last row needs more than 2^63 bytes: refused before any allocation.
    const Row rows[] = {{0, 1}, {1, 0}, {-1, 5}, {5, -1}, {INT32_MIN, 1}, {INT32_MAX, INT32_MAX}};
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.width << " x " << row.height);
        EXPECT_EQ(create_image(row.width, row.height, 32), kNullImage);
    }
}

TEST(QueryImage, NullImageGivesNonZeroAndMinusOnes) {
    ArgbPixel dummy = 0;
    ImageInfo info{7, 7, 7, 7, &dummy, 7};
    EXPECT_NE(query_image(kNullImage, &info), 0);
    EXPECT_EQ(info.width, -1);
    EXPECT_EQ(info.height, -1);
    EXPECT_EQ(info.bytes_per_pixel, -1);
    EXPECT_EQ(info.pitch, -1);
    EXPECT_EQ(info.pixels, nullptr);
    EXPECT_EQ(info.size_bytes, -1);
}

TEST_F(AlphaBlit, MatchesHandWorkedPixels) {
    struct Row {
        const char* name;
        ArgbPixel source, screen, want;
    };
    const Row rows[] = {
        // red 110 + floor(145 * 128 / 256) = 182; green, blue 110 + floor(-55) = 55;
        // alpha 255 + floor(-127 * 128 / 256) = 255 - 64 = 191
        {"half red over dark grey", 0x80FF0000u, 0xFF6E6E6Eu, 0xBFB63737u},
        // 155 + floor(-13.5) = 141
        {"half grey over light grey", 0x80808080u, 0xFF9B9B9Bu, 0xBF8D8D8Du},
        // 0 + floor(255 * 255 / 256) = 254: opaque is not a copy
        {"opaque white over black", 0xFFFFFFFFu, 0xFF000000u, 0xFFFEFEFEu},
        {"alpha 0 keeps the pixel", 0x00FFFFFFu, 0xFF123456u, 0xFF123456u},
        // 255 + floor(-255 * 64 / 256) = 191; alpha 255 + floor(-191 * 64 / 256) = 207
        {"quarter black over white", 0x40000000u, 0xFFFFFFFFu, 0xCFBFBFBFu},
        // 10 + floor(-10 / 256) = 9 (truncation would keep 10); alpha 255 + floor(-254 / 256) = 254
        {"alpha 1 floors toward minus infinity", 0x01000000u, 0xFF0A0A0Au, 0xFE090909u},
        // 0 + floor(200 * 1 / 256) = 0; alpha 0x00 + floor(1 / 256) = 0
        {"alpha 1 over transparent black", 0x01C8C8C8u, 0x00000000u, 0x00000000u},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        set_pixel(kNullImage, 2, 1, row.screen);
        draw_image(2, 1, solid_image(1, 1, row.source), BLIT_ALPHA);
        const ArgbPixel have = screen_at(2, 1);
        EXPECT_EQ(have, row.want) << "have " << hex(have) << ", want " << hex(row.want);
    }
}

// Every alpha against a spread of channel values, each channel position taking
// a different (s, d) pair, over a row width that is no multiple of a vector.
TEST_F(AlphaBlit, AgreesWithTheFormulaForEveryAlpha) {
    const uint32_t values[] = {0, 1, 2, 63, 64, 127, 128, 129, 200, 254, 255};
    constexpr int kCount = sizeof values / sizeof values[0];
    constexpr int kColumns = kCount * kCount;  // 121 columns: every (s, d) pair
    ASSERT_EQ(open_screen(kColumns, 256, 32, 2, 0, 0), 0);
    Image below = create_image(kColumns, 256, 32);
    Image above = create_image(kColumns, 256, 32);
    ASSERT_NE(below, kNullImage);
    ASSERT_NE(above, kNullImage);
    const ImageInfo below_info = info_of(below);
    const ImageInfo above_info = info_of(above);
    auto s_of = [&](int column) { return values[column / kCount]; };
    auto d_of = [&](int column) { return values[column % kCount]; };
    for (int a = 0; a < 256; ++a)
        for (int column = 0; column < kColumns; ++column) {
            const uint32_t s = s_of(column), d = d_of(column);
            // Red and blue blend s over d, green d over s; the screen's alpha is d.
            *pixel_in(above_info.pixels, above_info.pitch, column, a) =
                uint32_t(a) << 24 | s << 16 | d << 8 | s;
            *pixel_in(below_info.pixels, below_info.pitch, column, a) = d << 24 | d << 16 | s << 8 | d;
        }
    draw_image(0, 0, below, BLIT_COPY);
    draw_image(0, 0, above, BLIT_ALPHA);
    int failures = 0;
    for (int a = 0; a < 256 && failures < 10; ++a)
        for (int column = 0; column < kColumns && failures < 10; ++column) {
            const uint32_t s = s_of(column), d = d_of(column);
            const uint32_t want = reference_channel(uint32_t(a), d, uint32_t(a)) << 24 |
                                  reference_channel(s, d, uint32_t(a)) << 16 |
                                  reference_channel(d, s, uint32_t(a)) << 8 |
                                  reference_channel(s, d, uint32_t(a));
            const ArgbPixel have = screen_at(column, a);
            if (have != want) {
                ++failures;
                ADD_FAILURE() << "a " << a << " s " << s << " d " << d << ": have " << hex(have)
                              << ", want " << hex(want);
            }
        }
}

TEST_F(DrawImage, CopyAndSetPixelKeepTheAlphaByte) {
    set_pixel(kNullImage, 0, 0, 0x00FFFFFFu);
    draw_image(3, 2, solid_image(1, 1, 0x00FFFFFFu), BLIT_COPY);
    Image target = create_image(2, 2, 32);
    set_pixel(target, 1, 1, 0x00FFFFFFu);
    EXPECT_EQ(screen_at(0, 0), 0x00FFFFFFu) << "set pixel: have " << hex(screen_at(0, 0));
    EXPECT_EQ(screen_at(3, 2), 0x00FFFFFFu) << "copy: have " << hex(screen_at(3, 2));
    EXPECT_EQ(image_at(target, 1, 1), 0x00FFFFFFu) << "into image: have " << hex(image_at(target, 1, 1));
}

TEST_F(SetPixel, RoundsAndIgnoresPointsOutsideTheTarget) {
    Image target = solid_image(5, 2, 0xFF000001u);
    struct Row {
        float x, y;
        bool lands;
        int64_t want_x, want_y;
    };
    const Row rows[] = {
        {2.5f, 0.4f, true, 3, 0},  {-0.4f, 1.49f, true, 0, 1}, {4.49f, 1.0f, true, 4, 1},
        {4.5f, 0, false, 0, 0},    {-0.5f, 0, false, 0, 0},    {0, 1.5f, false, 0, 0},
        {0, -1, false, 0, 0},      {1e30f, 0, false, 0, 0},    {std::nanf(""), 0, false, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "(" << row.x << ", " << row.y << ")");
        fill_image(target, [](int64_t, int64_t) -> ArgbPixel { return 0xFF000001u; });
        const std::vector<ArgbPixel> before = storage_of(target, 2 * 32);
        set_pixel(target, row.x, row.y, 0xFFABCDEFu);
        std::vector<ArgbPixel> want = before;
        if (row.lands) want[row.want_y * 8 + row.want_x] = 0xFFABCDEFu;
        // The whole storage: a point just past the width must not reach the row tail.
        EXPECT_EQ(storage_of(target, 2 * 32), want);
    }
}

TEST_F(SetPixel, NullTargetDrawsOnTheScreen) {
    set_pixel(kNullImage, 6.5f, 4.6f, 0xFF102030u);  // rounds to (7, 5), the last pixel
    set_pixel(kNullImage, 8, 0, 0xFFFFFFFFu);        // one past the right edge
    EXPECT_EQ(screen_at(7, 5), 0xFF102030u) << "have " << hex(screen_at(7, 5));
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            if (x == 7 && y == 5) continue;
            EXPECT_EQ(screen_at(x, y), 0xFF000000u)
                << "(" << x << ", " << y << ") have " << hex(screen_at(x, y));
        }
}

// Each image pixel names its own column and row, so a misplaced copy shows.
ArgbPixel numbered(int64_t x, int64_t y) { return 0xFF000000u | uint32_t(y + 1) << 8 | uint32_t(x + 1); }

TEST_F(DrawImage, ClipsOnAllFourSides) {
    struct Row {
        const char* name;
        float x, y;
        int64_t left, top;  // where the rounded corner lands
    };
    // The image is 7 x 3 on an 8 x 6 screen.
    const Row rows[] = {
        {"wholly inside", 1, 2, 1, 2},
        {"left edge at -5", -5, 1, -5, 1},
        {"one column off the left", -1, 2, -1, 2},
        {"one row off the top", 1, -1, 1, -1},
        {"rounded to -5", -4.5f, 0.5f, -5, 1},
        {"past the right edge", 6, 0, 6, 0},
        {"past the bottom edge", 0, 4, 0, 4},
        {"over the top-left corner", -3, -2, -3, -2},
        {"past right and bottom", 5, 5, 5, 5},
        {"wholly off to the right", 8, 0, 8, 0},
        {"wholly off to the left", -7, 0, -7, 0},
        {"wholly off above", 0, -3, 0, -3},
        {"wholly off below", 0, 6, 0, 6},
        {"far off", -1e9f, 3e9f, -1000000000, 3000000000},
    };
    Image image = create_image(7, 3, 32);
    fill_image(image, numbered);
    for (const BlitMode mode : {BLIT_COPY, BLIT_ALPHA})
        for (const Row& row : rows) {
            SCOPED_TRACE(testing::Message() << row.name << (mode == BLIT_COPY ? ", copy" : ", alpha"));
            draw_image(0, 0, solid_image(kWidth, kHeight, 0xFF000000u), BLIT_COPY);
            draw_image(row.x, row.y, image, mode);
            for (int64_t y = 0; y < kHeight; ++y)
                for (int64_t x = 0; x < kWidth; ++x) {
                    const bool covered =
                        x >= row.left && x < row.left + 7 && y >= row.top && y < row.top + 3;
                    ArgbPixel want = 0xFF000000u;
                    if (covered) {
                        // An opaque pixel over black: each channel c becomes floor(c * 255 / 256).
                        const ArgbPixel s = numbered(x - row.left, y - row.top);
                        want = mode == BLIT_COPY ? s
                                                 : 0xFF000000u | reference_channel((s >> 8) & 0xFF, 0, 255) << 8 |
                                                       reference_channel(s & 0xFF, 0, 255);
                    }
                    const ArgbPixel have = screen_at(x, y);
                    EXPECT_EQ(have, want) << "(" << x << ", " << y << ") have " << hex(have)
                                          << ", want " << hex(want);
                }
        }
}

TEST_F(DrawImage, NullImageDrawsNothing) {
    set_pixel(kNullImage, 1, 1, 0xFF445566u);
    draw_image(0, 0, kNullImage, BLIT_COPY);
    draw_image(0, 0, kNullImage, BLIT_ALPHA);
    copy_page();  // work and visible page are the same: nothing to copy either
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const ArgbPixel want = (x == 1 && y == 1) ? 0xFF445566u : 0xFF000000u;
            EXPECT_EQ(screen_at(x, y), want) << "(" << x << ", " << y << ") have " << hex(screen_at(x, y));
        }
}

TEST_F(CaptureScreen, ReshapesTheImageToTheDesktop) {
    ASSERT_EQ(open_screen(1366, 768, 32, 2, 0, 0), 0);
    Image background = create_image(1920, 1080, 32);
    ASSERT_NE(background, kNullImage);
    set_pixel(kNullImage, 0, 0, 0xFF010203u);
    set_pixel(kNullImage, 1365, 0, 0x00040506u);
    set_pixel(kNullImage, 700, 400, 0x80070809u);
    set_pixel(kNullImage, 1365, 767, 0xFF0A0B0Cu);
    capture_screen(0, 0, 1365, 767, background);
    const ImageInfo info = info_of(background);
    EXPECT_EQ(info.width, 1366);
    EXPECT_EQ(info.height, 768);
    EXPECT_EQ(info.pitch, 5472) << "have " << info.pitch << ", want 5472";
    EXPECT_EQ(info.size_bytes, 768 * 5472);
    struct Probe {
        int64_t x, y;
        ArgbPixel want;
    };
    const Probe probes[] = {{0, 0, 0xFF010203u},    {1365, 0, 0x00040506u}, {700, 400, 0x80070809u},
                            {1365, 767, 0xFF0A0B0Cu}, {1, 0, 0xFF000000u},    {0, 767, 0xFF000000u}};
    for (const Probe& probe : probes) {
        const ArgbPixel have = image_at(background, probe.x, probe.y);
        EXPECT_EQ(have, probe.want) << "(" << probe.x << ", " << probe.y << ") have " << hex(have)
                                    << ", want " << hex(probe.want);
    }
}

TEST_F(CaptureScreen, RoundsAndOrdersTheCorners) {
    for (int64_t y = 0; y < kHeight; ++y)
        for (int64_t x = 0; x < kWidth; ++x) set_pixel(kNullImage, x, y, numbered(x, y));
    Image image = create_image(4, 4, 32);
    // (3.4, 2.6) and (1.5, 0.5) round to (3, 3) and (2, 1): columns 2-3, rows 1-3.
    capture_screen(3.4f, 2.6f, 1.5f, 0.5f, image);
    const ImageInfo info = info_of(image);
    EXPECT_EQ(info.width, 2);
    EXPECT_EQ(info.height, 3);
    EXPECT_EQ(info.pitch, 16);
    for (int64_t y = 0; y < 3; ++y)
        for (int64_t x = 0; x < 2; ++x) {
            const ArgbPixel have = image_at(image, x, y);
            const ArgbPixel want = numbered(x + 2, y + 1);
            EXPECT_EQ(have, want) << "(" << x << ", " << y << ") have " << hex(have) << ", want " << hex(want);
        }
}

TEST_F(CaptureScreen, DoesNothingWhenOffScreenOrTooBigForTheStorage) {
    struct Row {
        const char* name;
        float x1, y1, x2, y2;
    };
    // The image is 4 x 4: pitch 16, 64 bytes of storage.
    const Row rows[] = {
        {"right corner one past the edge", 0, 0, 8, 5},
        {"bottom corner one past the edge", 0, 0, 7, 6},
        {"left corner at -1", -1, 0, 2, 2},
        {"top corner rounds to -1", 0, -0.5f, 2, 2},
        {"wholly off", 20, 20, 30, 30},
        {"NaN corner", std::nanf(""), 0, 2, 2},
        {"5 wide needs a 32-byte pitch: 128 bytes", 0, 0, 4, 3},
        {"8 x 3 needs 96 bytes", 0, 0, 7, 2},
        {"1 x 5 needs 80 bytes", 0, 0, 0, 4},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Image image = create_image(4, 4, 32);
        capture_screen(row.x1, row.y1, row.x2, row.y2, image);
        const ImageInfo info = info_of(image);
        EXPECT_EQ(info.width, 4);
        EXPECT_EQ(info.height, 4);
        EXPECT_EQ(info.pitch, 16);
        EXPECT_EQ(storage_of(image, 64), std::vector<ArgbPixel>(16, 0xFFFF00FFu));
    }
}

TEST_F(CaptureScreen, FillsStorageThatJustHoldsTheRectangle) {
    struct Row {
        const char* name;
        float x2, y2;
        int64_t width, height, pitch;
    };
    // The image is 4 x 4: 64 bytes. Each rectangle starts at (0, 0).
    const Row rows[] = {
        {"8 x 2: pitch 32, 64 bytes", 7, 1, 8, 2, 32},
        {"1 x 4: pitch 16, 64 bytes", 0, 3, 1, 4, 16},
        {"3 x 1: pitch 16, 16 bytes", 2, 0, 3, 1, 16},
    };
    for (int64_t y = 0; y < kHeight; ++y)
        for (int64_t x = 0; x < kWidth; ++x) set_pixel(kNullImage, x, y, numbered(x, y));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Image image = create_image(4, 4, 32);
        capture_screen(0, 0, row.x2, row.y2, image);
        const ImageInfo info = info_of(image);
        EXPECT_EQ(info.width, row.width);
        EXPECT_EQ(info.height, row.height);
        EXPECT_EQ(info.pitch, row.pitch);
        for (int64_t y = 0; y < row.height; ++y)
            for (int64_t x = 0; x < row.width; ++x)
                EXPECT_EQ(image_at(image, x, y), numbered(x, y))
                    << "(" << x << ", " << y << ") have " << hex(image_at(image, x, y));
    }
}

TEST(NoScreen, EveryCallDoesNothingAndImagesStayValid) {
    ASSERT_EQ(open_screen(4, 4, 32, 2, 0, 0), 0);
    Image image = solid_image(3, 2, 0xFF112233u);
    close_screen();
    ASSERT_FALSE(screen_is_open());

    set_pixel(kNullImage, 0, 0, 0xFFFFFFFFu);
    set_pixel(image, 0, 0, 0xFFFFFFFFu);
    draw_image(0, 0, image, BLIT_COPY);
    draw_image(0, 0, image, BLIT_ALPHA);
    capture_screen(0, 0, 1, 1, image);
    copy_page();
    close_screen();
    EXPECT_EQ(create_image(2, 2, 32), kNullImage);

    const ImageInfo info = info_of(image);
    EXPECT_EQ(info.width, 3);
    EXPECT_EQ(info.height, 2);
    for (int64_t y = 0; y < 2; ++y)
        for (int64_t x = 0; x < 3; ++x)
            EXPECT_EQ(image_at(image, x, y), 0xFF112233u)
                << "(" << x << ", " << y << ") have " << hex(image_at(image, x, y));
    std::lock_guard<std::mutex> guard(facility_lock());
    EXPECT_EQ(visible_page().pixels, nullptr);
}

TEST(KeyQueue, HandsKeysOutOldestFirst) {
    while (!poll_key().empty()) {
    }
    const std::string extended_up = std::string(1, char(255)) + "H";
    const std::string close_request = std::string(1, char(255)) + "k";
    const std::string keys[] = {"a", extended_up, "\r", close_request, " "};
    for (const std::string& key : keys) queue_key(key);
    for (const std::string& want : keys) {
        const std::string have = poll_key();
        EXPECT_EQ(have, want) << "have " << have.size() << " characters, want " << want.size();
    }
    EXPECT_EQ(poll_key(), "");
}

TEST(EndProgram, ExitsWithTheGivenStatus) {
    EXPECT_EXIT(
        {
            open_screen(4, 4, 32, 2, 0, 0);
            end_program(3);
        },
        testing::ExitedWithCode(3), "");
}

}  // namespace
