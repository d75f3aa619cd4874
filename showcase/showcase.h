// The showcase: start-up and static layout (scene.cpp), the animation loop
// (animation.cpp). The pure helpers below carry every number the program
// works out itself, so the layout can be checked without a screen.
#pragma once

#include <array>
#include <cstdint>

#include "platform/graphics.h"

// The board is always made at this size, whatever the desktop: smaller
// desktops cut it off, larger ones show black beyond it.
inline constexpr int64_t kBoardWidth = 1920;
inline constexpr int64_t kBoardHeight = 1080;
inline constexpr ArgbPixel kBoardDark = 0xFF6E6E6Eu;
inline constexpr ArgbPixel kBoardLight = 0xFF9B9B9Bu;
inline constexpr int kBoardCellShift = 4;  // 16 x 16 pixel cells

inline constexpr int kRowImageCount = 6;
inline constexpr float kRowTop = 300.0f;

// Files in the order they are decoded. The first six form the row; the next
// two are drawn in every frame; the ninth is drawn pixel by pixel; the last
// is the sprite.
inline constexpr int kSampleCount = 10;
inline constexpr std::array<const char*, kSampleCount> kSampleNames = {
    "1bit.bmp",      "4bit.bmp",     "8bit.bmp",       "16bit.bmp",    "24bit.bmp",
    "32bit.bmp",     "32bitAlf2.bmp", "16bitAlf.bmp", "16Bit_Vorn.bmp", "32BitAlf.bmp"};
inline constexpr int kFirstPinnedImage = 6;  // "32bitAlf2.bmp"
inline constexpr int kSecondPinnedImage = 7; // "16bitAlf.bmp"
inline constexpr int kPlottedSample = 8;     // "16Bit_Vorn.bmp"
inline constexpr int kSpriteSample = 9;      // "32BitAlf.bmp"
inline constexpr int kImageSampleCount = 8;  // those kept as images besides the sprite

// Where the two pinned images sit, as fractions of the desktop width.
inline constexpr double kFirstPinnedFraction = 0.1;
inline constexpr double kSecondPinnedFraction = 0.6;

// Largest step per frame along one axis.
inline constexpr double kMaxSpeed = 15.0;

// ---- Pure helpers -------------------------------------------------------

// Left edge of image `column` (1 to 6) of the row on a desktop `desktop_width`
// wide: the nearest integer to (W x column) / 6 - W / 7, ties to even. Kept
// in pointer width: 64 bits in showcase64, 32 bits in showcase32.
intptr_t column_x(uint32_t desktop_width, int column);

// Top-left corner of the pixel-by-pixel picture. The y is H x 0.55 to the
// nearest integer, ties to even; showcase32 forms the product in x87
// extended precision, so on the heights where the double product is an
// exact tie (950, 990, 1030, 1070) its picture sits one pixel lower.
uint32_t plot_origin_x(intptr_t column3_x, intptr_t column4_x);
uint32_t plot_origin_y(uint32_t desktop_height);

// Left edge of a pinned image as handed to the facility: W x fraction in
// double precision, narrowed to single precision (the facility rounds it).
float pinned_image_x(uint32_t desktop_width, double fraction);

// A speed from one random number in [0, 1): 0 to 15, ties to even.
int32_t speed_from_random(double random_number);

struct SpriteMotion {
    int32_t sprite_x;  // centre, screen pixels
    int32_t sprite_y;
    int32_t speed_x;   // step per frame; only the sign ever changes
    int32_t speed_y;
};

// One frame's move: step the centre, then the four bounce tests in order,
// each on the new position and none skipping another. half_width and
// half_height are the sprite's halves, rounded down.
void bounce_step(SpriteMotion& motion, uint32_t desktop_width, uint32_t desktop_height,
                 uint32_t half_width, uint32_t half_height);

// ---- The program ----------------------------------------------------------

// What start-up leaves for the animation loop; every image lasts for the run.
struct ShowcaseScene {
    uint32_t desktop_width;
    uint32_t desktop_height;
    std::array<intptr_t, kRowImageCount> column_x;
    Image background;
    std::array<Image, kImageSampleCount> images;
    Image sprite;
    uint32_t plot_origin_x;
    uint32_t plot_origin_y;
};

// A board_width x board_height image of 16 x 16 cells, the top-left cell dark.
// Set pixel by pixel; when no image can be made the pixels go onto the screen
// and the null image is returned.
Image make_checkerboard(intptr_t board_width, intptr_t board_height);

// The process entry: builds the scene, runs the loop, never returns. The
// command line is not looked at.
[[noreturn]] void showcase_main(int argument_count, char** argument_strings);

// Start-up up to and including the capture. False when no screen could be
// opened; nothing else is done then.
bool build_scene(ShowcaseScene& scene);

// Animates until a key or a close request, releases the decoder's buffer and
// ends the process with status 0.
[[noreturn]] void run_animation(const ShowcaseScene& scene);
