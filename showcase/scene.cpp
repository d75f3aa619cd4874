// Start-up and the static scene: desktop size, screen, checkerboard, the ten
// decodes, the row of six, the pixel-by-pixel picture and the capture that
// the animation loop restores every frame.
#include <cmath>
#include <cstring>

#include "decoder/bitmap_decoder.h"
#include "platform/display_settings.h"
#include "showcase/showcase.h"

namespace {

constexpr int32_t kBitsPerPixel = 32;
constexpr int32_t kScreenPages = 2;
constexpr uint32_t kScreenOptions = SCREEN_NO_FRAME | SCREEN_NO_SWITCH | SCREEN_HIGH_PRIORITY;
constexpr int32_t kNoRefreshPreference = 0;
constexpr int64_t kColumnsPerRow = 6;
constexpr double kColumnLead = 7.0;  // the row starts about W / 42 in: W / 6 - W / 7
constexpr double kPlotHeightFraction = 0.55;

// Under the default rounding mode nearbyint sends ties to the even integer,
// which is the rule for every value the program rounds itself.
int64_t nearest_integer(double value) { return static_cast<int64_t>(std::nearbyint(value)); }

// Draws the picture of the last decode one pixel at a time through the
// decoder's pixel query; its alpha bytes go onto the screen unblended.
void plot_decoded_picture(uint32_t origin_x, uint32_t origin_y) {
    decoder_state.current_pixel = 0;
    for (uint32_t y = 0; y < decoder_state.height; ++y) {
        for (uint32_t x = 0; x < decoder_state.width; ++x) {
            pixel_at(x, y);
            set_pixel(kNullImage, static_cast<float>(int64_t{origin_x} + x),
                      static_cast<float>(int64_t{origin_y} + y), decoder_state.current_pixel);
        }
    }
}

}  // namespace

intptr_t column_x(uint32_t desktop_width, int column) {
    const int64_t scaled_width = int64_t{desktop_width} * column;  // exact before the division
    const double left_edge = static_cast<double>(scaled_width) / static_cast<double>(kColumnsPerRow) -
                             static_cast<double>(desktop_width) / kColumnLead;
    return static_cast<intptr_t>(nearest_integer(left_edge));
}

uint32_t plot_origin_x(intptr_t column3_x, intptr_t column4_x) {
    return static_cast<uint32_t>((int64_t{column3_x} + column4_x) / 2);
}

uint32_t plot_origin_y(uint32_t desktop_height) {
#if INTPTR_MAX == INT32_MAX
    // showcase32 keeps the product on the x87 with its 64-bit mantissa and
    // rounds it there; narrowed to a double first, 950 x 0.55 would become
    // the tie 522.5 and go to 522 rather than 523.
    const long double product = static_cast<long double>(desktop_height) * kPlotHeightFraction;
    return static_cast<uint32_t>(std::nearbyint(product));
#else
    return static_cast<uint32_t>(nearest_integer(static_cast<double>(desktop_height) * kPlotHeightFraction));
#endif
}

float pinned_image_x(uint32_t desktop_width, double fraction) {
    return static_cast<float>(static_cast<double>(desktop_width) * fraction);
}

int32_t speed_from_random(double random_number) {
    return static_cast<int32_t>(nearest_integer(random_number * kMaxSpeed));
}

Image make_checkerboard(intptr_t board_width, intptr_t board_height) {
    // A failed creation leaves the null image, which as a set-pixel target is
    // the screen: the board then still shows, drawn straight onto it.
    const Image board = create_image(static_cast<int32_t>(board_width),
                                     static_cast<int32_t>(board_height), kBitsPerPixel);
    for (int64_t y = 0; y < board_height; ++y) {
        for (int64_t x = 0; x < board_width; ++x) {
            const bool light = (((x >> kBoardCellShift) ^ (y >> kBoardCellShift)) & 1) != 0;
            set_pixel(board, static_cast<float>(x), static_cast<float>(y),
                      light ? kBoardLight : kBoardDark);
        }
    }
    return board;
}

bool build_scene(ShowcaseScene& scene) {
    DEVMODEA display_settings;
    std::memset(&display_settings, 0, sizeof display_settings);
    display_settings.dmSize = sizeof display_settings;
    // A failed query leaves both sizes 0, and the screen is refused below.
    EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &display_settings);
    scene.desktop_width = display_settings.dmPelsWidth;
    scene.desktop_height = display_settings.dmPelsHeight;

    // Without a window nothing could ever end the loop, so there is no point
    // in decoding anything.
    if (open_screen(static_cast<int32_t>(scene.desktop_width),
                    static_cast<int32_t>(scene.desktop_height), kBitsPerPixel, kScreenPages,
                    kScreenOptions, kNoRefreshPreference) != 0) {
        return false;
    }

    for (int column = 1; column <= kRowImageCount; ++column) {
        scene.column_x[column - 1] = column_x(scene.desktop_width, column);
    }

    scene.background = make_checkerboard(kBoardWidth, kBoardHeight);
    draw_image(0.0f, 0.0f, scene.background, BLIT_COPY);

    // All eight are decoded before any is drawn.
    for (int sample = 0; sample < kImageSampleCount; ++sample) {
        scene.images[sample] = load_bitmap_image(kSampleNames[sample]);
    }
    for (int column = 0; column < kRowImageCount; ++column) {
        draw_image(static_cast<float>(scene.column_x[column]), kRowTop, scene.images[column],
                   BLIT_ALPHA);
    }

    decode_bitmap(kSampleNames[kPlottedSample]);
    scene.plot_origin_x = plot_origin_x(scene.column_x[2], scene.column_x[3]);
    scene.plot_origin_y = plot_origin_y(scene.desktop_height);
    if (decoder_state.loaded != FLAG_CLEAR) {
        plot_decoded_picture(scene.plot_origin_x, scene.plot_origin_y);
    }

    // The last decode of the run: from here on the decoder's width and height
    // are the sprite's, which the loop's bounce tests rely on.
    scene.sprite = load_bitmap_image(kSampleNames[kSpriteSample]);

    // The board's storage holds 1920 x 1080 pixels; a capture of a larger
    // desktop would overrun it, so such a desktop gets storage of its own size.
    if (int64_t{scene.desktop_width} > kBoardWidth || int64_t{scene.desktop_height} > kBoardHeight) {
        scene.background = create_image(static_cast<int32_t>(scene.desktop_width),
                                        static_cast<int32_t>(scene.desktop_height), kBitsPerPixel);
    }
    capture_screen(0.0f, 0.0f, static_cast<float>(int64_t{scene.desktop_width} - 1),
                   static_cast<float>(int64_t{scene.desktop_height} - 1), scene.background);
    return true;
}

void showcase_main(int /*argument_count*/, char** /*argument_strings*/) {
    ShowcaseScene scene{};
    if (!build_scene(scene)) {
        end_program(0);
    }
    run_animation(scene);
}
