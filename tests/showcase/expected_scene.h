// What the screen should show, composed in the test from the sample files
// (decoded with the project's decoder) and the layout worked out by hand:
// the board by its cell rule, the row and the pinned images blended by
// d + floor((s - d) x a / 256), the picture copied pixel by pixel.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/xshot/x_root_capture.h"

struct Picture {
    int64_t width = 0;
    int64_t height = 0;
    std::vector<uint32_t> pixels;  // 0xAARRGGBB, top-down
    uint32_t at(int64_t x, int64_t y) const { return pixels[static_cast<size_t>(y * width + x)]; }
};

// Decodes path with the project's decoder; nothing when it is refused.
std::optional<Picture> decode_sample(const std::string& path);

// Where everything goes on one desktop, worked out by hand.
struct DesktopLayout {
    const char* name;
    int32_t width;
    int32_t height;
    std::array<int64_t, 6> columns;
    int64_t plot_x;
    int64_t plot_y;
    int64_t first_pinned_x;   // "32bitAlf2.bmp"
    int64_t second_pinned_x;  // "16bitAlf.bmp"
    int64_t pinned_y;
};

inline constexpr int64_t kRowY = 300;

// The ten samples in the program's order; a missing or refused one is empty.
using SampleSet = std::array<std::optional<Picture>, 10>;

// The channel rule of the alpha blit: d + floor((s - d) x a / 256).
uint32_t blend_channel(uint32_t source, uint32_t destination, uint32_t alpha);
uint32_t blend_pixel(uint32_t source, uint32_t destination);

// The static scene of start-up: black, the 1920 x 1080 board at (0, 0), the
// row of six, the pixel-by-pixel picture.
Picture compose_static_scene(const DesktopLayout& layout, const SampleSet& samples);

// One frame of the loop: the static scene, the sprite with its top-left
// corner at sprite_corner (when given and the sprite decoded), then the two
// pinned images over it.
struct SpriteCorner {
    int64_t left;
    int64_t top;
};
Picture compose_frame(const DesktopLayout& layout, const SampleSet& samples, const Picture& static_scene,
                      std::optional<SpriteCorner> sprite_corner);

// Result of holding one capture against the expected frames.
struct FrameMatch {
    bool matches = false;
    // Where the sprite was found; empty when it does not show (no sprite file,
    // or hidden under opaque pinned pixels).
    std::optional<SpriteCorner> sprite_corner;
    std::string report;  // the first mismatches, "have ..., want ..." with places
};

// Checks every pixel of capture (colours only: the display ignores alpha).
// The only freedom is the sprite's position, which is searched for among
// the places consistent with the pixels that differ from the sprite-less frame.
FrameMatch match_frame(const RootCapture& capture, const DesktopLayout& layout, const SampleSet& samples,
                       const Picture& static_scene, const Picture& frame_without_sprite);

// Names what lies at (x, y) in the layout, for failure messages.
std::string describe_place(const DesktopLayout& layout, const SampleSet& samples, int64_t x, int64_t y);
