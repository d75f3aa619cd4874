// The numbers the showcase works out itself: row columns, the picture's
// origin, the pinned images' places, the speeds and the bounce, and the
// checkerboard. Expected values are worked by hand from the layout rules.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "platform/graphics.h"
#include "showcase/showcase.h"

namespace {

struct DesktopLayoutRow {
    const char* name;
    uint32_t width;
    uint32_t height;
    std::array<int64_t, 6> columns;
    uint32_t origin_x;
    uint32_t origin_y;
};

// (W x i) / 6 - W / 7 to the nearest integer; the origin's x is the truncated
// mean of columns 3 and 4, its y H x 0.55. 1029 is 7 x 147, so W / 7 is exact
// and columns 1, 3 and 5 land on exact ties (24.5, 367.5, 710.5), which go to
// the even neighbour.
const DesktopLayoutRow kDesktopLayouts[] = {
    {"1920x1080", 1920, 1080, {46, 366, 686, 1006, 1326, 1646}, 846, 594},
    {"1366x768", 1366, 768, {33, 260, 488, 716, 943, 1171}, 602, 422},
    {"1024x768", 1024, 768, {24, 195, 366, 536, 707, 878}, 451, 422},
    {"2560x1440", 2560, 1440, {61, 488, 914, 1341, 1768, 2194}, 1127, 792},
    {"1029x768 ties", 1029, 768, {24, 196, 368, 539, 710, 882}, 453, 422},
};

TEST(ColumnX, PlacesTheSixImagesOfTheRow) {
    for (const DesktopLayoutRow& row : kDesktopLayouts) {
        SCOPED_TRACE(row.name);
        for (int column = 1; column <= 6; ++column) {
            const int64_t have = column_x(row.width, column);
            EXPECT_EQ(have, row.columns[column - 1])
                << "column " << column << ": have " << have << ", want " << row.columns[column - 1];
        }
    }
}

TEST(PlotOrigin, SitsBetweenColumnsThreeAndFourAtFiftyFivePercentOfTheHeight) {
    for (const DesktopLayoutRow& row : kDesktopLayouts) {
        SCOPED_TRACE(row.name);
        const uint32_t have_x = plot_origin_x(row.columns[2], row.columns[3]);
        const uint32_t have_y = plot_origin_y(row.height);
        EXPECT_EQ(have_x, row.origin_x) << "have " << have_x << ", want " << row.origin_x;
        EXPECT_EQ(have_y, row.origin_y) << "have " << have_y << ", want " << row.origin_y;
    }
}

TEST(PlotOrigin, RoundsExactTiesOfTheHeightToEven) {
    // H x 0.55 is an exact tie in double precision for these heights, which
    // goes to the even neighbour. The 32-bit build forms the product with a
    // 64-bit mantissa, where 0.55's excess over 0.55 survives and the value
    // lies just above the tie.
    struct TieRow {
        uint32_t height;
        uint32_t want_64bit;
        uint32_t want_32bit;
    };
    const TieRow rows[] = {{950, 522, 523}, {990, 544, 545}, {1030, 566, 567}, {1070, 588, 589}};
    for (const TieRow& row : rows) {
        const uint32_t want = sizeof(void*) == 8 ? row.want_64bit : row.want_32bit;
        const uint32_t have = plot_origin_y(row.height);
        EXPECT_EQ(have, want) << "H " << row.height << ": have " << have << ", want " << want;
    }
}

TEST(PinnedImageX, GivesTheFacilityATenthAndSixTenthsOfTheWidth) {
    struct PinnedRow {
        uint32_t width;
        double fraction;
        float want_float;     // what the facility is handed
        int64_t want_pixel;   // after its halves-away-from-zero rounding
    };
    const PinnedRow rows[] = {
        {1920, 0.1, 192.0f, 192},
        {1920, 0.6, 1152.0f, 1152},
        {1366, 0.1, 136.6f, 137},
        {1366, 0.6, 819.6f, 820},
    };
    for (const PinnedRow& row : rows) {
        SCOPED_TRACE(testing::Message() << row.width << " x " << row.fraction);
        const float have = pinned_image_x(row.width, row.fraction);
        EXPECT_EQ(have, row.want_float) << "have " << have << ", want " << row.want_float;
        EXPECT_EQ(round_coordinate(have), row.want_pixel)
            << "have " << round_coordinate(have) << ", want " << row.want_pixel;
    }
}

TEST(SpeedFromRandom, ScalesToFifteenWithTiesToEven) {
    struct SpeedRow {
        double random_number;
        int32_t want;
    };
    // 0.5, 0.3 and 0.7 times 15 are exact ties (7.5, 4.5, 10.5).
    const SpeedRow rows[] = {{0.0, 0}, {0.03, 0}, {0.5, 8}, {0.3, 4}, {0.7, 10},
                             {0.96, 14}, {0.9999999, 15}};
    for (const SpeedRow& row : rows) {
        const int32_t have = speed_from_random(row.random_number);
        EXPECT_EQ(have, row.want) << "random " << row.random_number << ": have " << have
                                  << ", want " << row.want;
    }
}

// Steps the sprite frame by frame and records the centre at each turn of the
// horizontal speed.
std::vector<int32_t> horizontal_turns(SpriteMotion motion, uint32_t width, uint32_t height,
                                      uint32_t half_width, uint32_t half_height, int frames,
                                      size_t turns_wanted) {
    std::vector<int32_t> turns;
    for (int frame = 0; frame < frames && turns.size() < turns_wanted; ++frame) {
        const int32_t speed_before = motion.speed_x;
        bounce_step(motion, width, height, half_width, half_height);
        if (motion.speed_x != speed_before) turns.push_back(motion.sprite_x);
    }
    return turns;
}

TEST(BounceStep, TurnsOnceTheCentrePassesTheBoundOnTheNewPosition) {
    // 1920 wide, hw 32: from 960 by 15 the centre reaches 1890 (>= 1888) and
    // turns; on the way back it turns at 30 (<= 32).
    const SpriteMotion start{960, 540, 15, 0};
    const std::vector<int32_t> turns = horizontal_turns(start, 1920, 1080, 32, 32, 1000, 2);
    ASSERT_EQ(turns.size(), 2u) << "have " << turns.size() << " turns, want 2";
    EXPECT_EQ(turns[0], 1890) << "have " << turns[0] << ", want 1890";
    EXPECT_EQ(turns[1], 30) << "have " << turns[1] << ", want 30";
}

TEST(BounceStep, MovesBothAxesAndKeepsAStillAxisStill) {
    struct StepRow {
        const char* name;
        SpriteMotion start;
        uint32_t width, height, half_width, half_height;
        SpriteMotion want;
    };
    const StepRow rows[] = {
        {"free flight", {960, 540, 7, -3}, 1920, 1080, 32, 32, {967, 537, 7, -3}},
        {"still", {960, 540, 0, 0}, 1920, 1080, 32, 32, {960, 540, 0, 0}},
        // 1080 - 32 = 1048: 1040 + 9 = 1049 turns the vertical speed only.
        {"bottom bound", {500, 1040, 4, 9}, 1920, 1080, 32, 32, {504, 1049, 4, -9}},
        // 0 + hh: 40 - 9 = 31 <= 32.
        {"top bound", {500, 40, 4, -9}, 1920, 1080, 32, 32, {504, 31, 4, 9}},
        // Exactly on the bound counts: 1873 + 15 = 1888 = 1920 - 32.
        {"on the right bound", {1873, 540, 15, 0}, 1920, 1080, 32, 32, {1888, 540, -15, 0}},
        // A sprite wider than the screen: 50 is both >= 100 - 60 and <= 60, so
        // the speed turns twice and keeps its sign; a test that skipped the
        // other would leave it turned.
        {"both bounds at once", {45, 540, 5, 0}, 100, 1080, 60, 32, {50, 540, 5, 0}},
        // W - hw is negative here; formed in unsigned 32 bits it would wrap
        // and only the left test would fire, turning the speed to -1.
        {"bound below zero", {5, 540, 1, 0}, 20, 1080, 32, 32, {6, 540, 1, 0}},
    };
    for (const StepRow& row : rows) {
        SCOPED_TRACE(row.name);
        SpriteMotion have = row.start;
        bounce_step(have, row.width, row.height, row.half_width, row.half_height);
        EXPECT_EQ(have.sprite_x, row.want.sprite_x) << "x: have " << have.sprite_x << ", want " << row.want.sprite_x;
        EXPECT_EQ(have.sprite_y, row.want.sprite_y) << "y: have " << have.sprite_y << ", want " << row.want.sprite_y;
        EXPECT_EQ(have.speed_x, row.want.speed_x) << "speed x: have " << have.speed_x << ", want " << row.want.speed_x;
        EXPECT_EQ(have.speed_y, row.want.speed_y) << "speed y: have " << have.speed_y << ", want " << row.want.speed_y;
    }
}

TEST(MakeCheckerboard, Fills16PixelCellsStartingDark) {
    // The facility makes images only while a screen is open.
    ASSERT_EQ(open_screen(64, 64, 32, 2, 0, 0), 0);
    const Image board = make_checkerboard(1920, 1080);
    ImageInfo info{};
    ASSERT_EQ(query_image(board, &info), 0) << "no board image was made";
    EXPECT_EQ(info.width, 1920);
    EXPECT_EQ(info.height, 1080);

    struct CellRow {
        int64_t x, y;
        ArgbPixel want;
    };
    const CellRow rows[] = {
        {0, 0, 0xFF6E6E6Eu},   {15, 15, 0xFF6E6E6Eu},   {16, 16, 0xFF6E6E6Eu},
        {16, 0, 0xFF9B9B9Bu},  {0, 16, 0xFF9B9B9Bu},    {15, 16, 0xFF9B9B9Bu},
        {31, 0, 0xFF9B9B9Bu},  {32, 0, 0xFF6E6E6Eu},    {1919, 1079, 0xFF6E6E6Eu},
        {1919, 0, 0xFF9B9B9Bu}, {0, 1079, 0xFF9B9B9Bu},
    };
    for (const CellRow& row : rows) {
        const auto* image_row = reinterpret_cast<const uint8_t*>(info.pixels) + row.y * info.pitch;
        const ArgbPixel have = reinterpret_cast<const ArgbPixel*>(image_row)[row.x];
        EXPECT_EQ(have, row.want) << "(" << row.x << ", " << row.y << "): have 0x" << std::hex << have
                                  << ", want 0x" << row.want;
    }
    close_screen();
}

}  // namespace
