#include "tests/showcase/expected_scene.h"

#include <algorithm>
#include <limits>
#include <sstream>

#include "decoder/bitmap_decoder.h"

namespace {

constexpr uint32_t kColourBits = 0x00FFFFFFu;
constexpr uint32_t kOpaqueBlack = 0xFF000000u;
constexpr uint32_t kBoardDarkGrey = 0xFF6E6E6Eu;
constexpr uint32_t kBoardLightGrey = 0xFF9B9B9Bu;
constexpr int64_t kBoardWidthPixels = 1920;
constexpr int64_t kBoardHeightPixels = 1080;
constexpr size_t kReportedMismatches = 8;

const char* const kNames[10] = {"1bit.bmp",      "4bit.bmp",     "8bit.bmp",       "16bit.bmp",
                                "24bit.bmp",     "32bit.bmp",    "32bitAlf2.bmp",  "16bitAlf.bmp",
                                "16Bit_Vorn.bmp", "32BitAlf.bmp"};
constexpr int kFirstPinned = 6;
constexpr int kSecondPinned = 7;
constexpr int kPlotted = 8;
constexpr int kSprite = 9;

bool inside(const Picture& picture, int64_t left, int64_t top, int64_t x, int64_t y) {
    return x >= left && y >= top && x < left + picture.width && y < top + picture.height;
}

void place_image(Picture& canvas, const Picture& image, int64_t left, int64_t top, bool blend) {
    const int64_t y_begin = std::max<int64_t>(0, top);
    const int64_t y_end = std::min(canvas.height, top + image.height);
    const int64_t x_begin = std::max<int64_t>(0, left);
    const int64_t x_end = std::min(canvas.width, left + image.width);
    for (int64_t y = y_begin; y < y_end; ++y) {
        for (int64_t x = x_begin; x < x_end; ++x) {
            uint32_t& target = canvas.pixels[static_cast<size_t>(y * canvas.width + x)];
            const uint32_t source = image.at(x - left, y - top);
            target = blend ? blend_pixel(source, target) : source;
        }
    }
}

std::string hex(uint32_t value) {
    std::ostringstream text;
    text << "0x" << std::hex << std::uppercase << (value & kColourBits);
    return text.str();
}

// The pixel at (x, y) of a frame whose sprite has its corner at `corner`.
uint32_t frame_pixel(const DesktopLayout& layout, const SampleSet& samples, const Picture& static_scene,
                     SpriteCorner corner, int64_t x, int64_t y) {
    uint32_t value = static_scene.at(x, y);
    const Picture& sprite = *samples[kSprite];
    if (inside(sprite, corner.left, corner.top, x, y)) {
        value = blend_pixel(sprite.at(x - corner.left, y - corner.top), value);
    }
    const int64_t pinned_x[2] = {layout.first_pinned_x, layout.second_pinned_x};
    const int pinned_sample[2] = {kFirstPinned, kSecondPinned};
    for (int i = 0; i < 2; ++i) {
        const auto& pinned = samples[pinned_sample[i]];
        if (pinned && inside(*pinned, pinned_x[i], layout.pinned_y, x, y)) {
            value = blend_pixel(pinned->at(x - pinned_x[i], y - layout.pinned_y), value);
        }
    }
    return value;
}

}  // namespace

std::optional<Picture> decode_sample(const std::string& path) {
    decode_bitmap(path.c_str());
    if (decoder_state.loaded == FLAG_CLEAR) return std::nullopt;
    Picture picture;
    picture.width = decoder_state.width;
    picture.height = decoder_state.height;
    const ArgbPixel* decoded = decoded_pixels();
    picture.pixels.assign(decoded, decoded + picture.width * picture.height);
    release_decoded_pixels();
    return picture;
}

uint32_t blend_channel(uint32_t source, uint32_t destination, uint32_t alpha) {
    const int64_t product = (int64_t{source} - int64_t{destination}) * int64_t{alpha};
    // Floor division by 256, also for negative products.
    const int64_t step = product >= 0 ? product / 256 : -((-product + 255) / 256);
    return static_cast<uint32_t>(int64_t{destination} + step);
}

uint32_t blend_pixel(uint32_t source, uint32_t destination) {
    const uint32_t alpha = source >> 24;
    uint32_t result = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        result |= blend_channel((source >> shift) & 0xFF, (destination >> shift) & 0xFF, alpha) << shift;
    }
    return result;
}

Picture compose_static_scene(const DesktopLayout& layout, const SampleSet& samples) {
    Picture scene;
    scene.width = layout.width;
    scene.height = layout.height;
    scene.pixels.assign(static_cast<size_t>(scene.width * scene.height), kOpaqueBlack);
    for (int64_t y = 0; y < std::min(scene.height, kBoardHeightPixels); ++y) {
        for (int64_t x = 0; x < std::min(scene.width, kBoardWidthPixels); ++x) {
            const bool light = (((x / 16) + (y / 16)) % 2) != 0;
            scene.pixels[static_cast<size_t>(y * scene.width + x)] = light ? kBoardLightGrey : kBoardDarkGrey;
        }
    }
    for (int column = 0; column < 6; ++column) {
        if (samples[column]) place_image(scene, *samples[column], layout.columns[column], kRowY, true);
    }
    if (samples[kPlotted]) place_image(scene, *samples[kPlotted], layout.plot_x, layout.plot_y, false);
    return scene;
}

Picture compose_frame(const DesktopLayout& layout, const SampleSet& samples, const Picture& static_scene,
                      std::optional<SpriteCorner> sprite_corner) {
    Picture frame = static_scene;
    if (sprite_corner && samples[kSprite]) {
        place_image(frame, *samples[kSprite], sprite_corner->left, sprite_corner->top, true);
    }
    if (samples[kFirstPinned]) {
        place_image(frame, *samples[kFirstPinned], layout.first_pinned_x, layout.pinned_y, true);
    }
    if (samples[kSecondPinned]) {
        place_image(frame, *samples[kSecondPinned], layout.second_pinned_x, layout.pinned_y, true);
    }
    return frame;
}

std::string describe_place(const DesktopLayout& layout, const SampleSet& samples, int64_t x, int64_t y) {
    std::ostringstream text;
    text << "(" << x << ", " << y << ")";
    const char* separator = " in ";
    bool named = false;
    for (int column = 0; column < 6; ++column) {
        if (samples[column] && inside(*samples[column], layout.columns[column], kRowY, x, y)) {
            text << separator << kNames[column] << " at +(" << x - layout.columns[column] << ", "
                 << y - kRowY << ")";
            separator = ", ";
            named = true;
        }
    }
    if (samples[kPlotted] && inside(*samples[kPlotted], layout.plot_x, layout.plot_y, x, y)) {
        text << separator << "the plotted picture";
        separator = ", ";
        named = true;
    }
    if (samples[kFirstPinned] && inside(*samples[kFirstPinned], layout.first_pinned_x, layout.pinned_y, x, y)) {
        text << separator << kNames[kFirstPinned];
        separator = ", ";
        named = true;
    }
    if (samples[kSecondPinned] &&
        inside(*samples[kSecondPinned], layout.second_pinned_x, layout.pinned_y, x, y)) {
        text << separator << kNames[kSecondPinned];
        separator = ", ";
        named = true;
    }
    if (!named) {
        text << (x < kBoardWidthPixels && y < kBoardHeightPixels ? " on the bare board" : " beyond the board");
    }
    return text.str();
}

FrameMatch match_frame(const RootCapture& capture, const DesktopLayout& layout, const SampleSet& samples,
                       const Picture& static_scene, const Picture& frame_without_sprite) {
    FrameMatch match;
    if (capture.width != layout.width || capture.height != layout.height) {
        std::ostringstream text;
        text << "screen: have " << capture.width << " x " << capture.height << ", want " << layout.width
             << " x " << layout.height;
        match.report = text.str();
        return match;
    }

    // Pixels that differ from the frame without a sprite: with a sprite, they
    // must all lie inside one sprite-sized box.
    int64_t x0 = std::numeric_limits<int64_t>::max(), y0 = x0, x1 = -1, y1 = -1;
    std::vector<std::pair<int64_t, int64_t>> first_differences;
    for (int64_t y = 0; y < layout.height; ++y) {
        for (int64_t x = 0; x < layout.width; ++x) {
            const size_t index = static_cast<size_t>(y * layout.width + x);
            if (((capture.pixels[index] ^ frame_without_sprite.pixels[index]) & kColourBits) == 0) continue;
            x0 = std::min(x0, x);
            y0 = std::min(y0, y);
            x1 = std::max(x1, x);
            y1 = std::max(y1, y);
            if (first_differences.size() < kReportedMismatches) first_differences.emplace_back(x, y);
        }
    }
    if (x1 < 0) {
        match.matches = true;
        return match;
    }

    auto report_differences = [&](const std::string& heading) {
        std::ostringstream text;
        text << heading << "; differences from the frame without the sprite span (" << x0 << ", " << y0
             << ") to (" << x1 << ", " << y1 << "), first ones:";
        for (const auto& [x, y] : first_differences) {
            const size_t index = static_cast<size_t>(y * layout.width + x);
            text << "\n  " << describe_place(layout, samples, x, y) << ": have "
                 << hex(capture.pixels[index]) << ", want " << hex(frame_without_sprite.pixels[index]);
        }
        match.report = text.str();
    };

    if (!samples[kSprite]) {
        report_differences("no sprite should show");
        return match;
    }
    const Picture& sprite = *samples[kSprite];
    if (x1 - x0 >= sprite.width || y1 - y0 >= sprite.height) {
        std::ostringstream heading;
        heading << "the differences do not fit one " << sprite.width << " x " << sprite.height << " sprite";
        report_differences(heading.str());
        return match;
    }

    // Every corner that puts the whole difference box inside the sprite; the
    // one that explains every pixel of the sprite's box is the sprite's place.
    size_t fewest_mismatches = std::numeric_limits<size_t>::max();
    std::vector<std::pair<int64_t, int64_t>> best_mismatches;
    SpriteCorner best_corner{0, 0};
    for (int64_t top = y1 - sprite.height + 1; top <= y0; ++top) {
        for (int64_t left = x1 - sprite.width + 1; left <= x0; ++left) {
            const SpriteCorner corner{left, top};
            std::vector<std::pair<int64_t, int64_t>> mismatches;
            size_t mismatch_count = 0;
            for (int64_t y = std::max<int64_t>(0, top); y < std::min<int64_t>(layout.height, top + sprite.height); ++y) {
                for (int64_t x = std::max<int64_t>(0, left); x < std::min<int64_t>(layout.width, left + sprite.width); ++x) {
                    const uint32_t want = frame_pixel(layout, samples, static_scene, corner, x, y);
                    const uint32_t have = capture.pixels[static_cast<size_t>(y * layout.width + x)];
                    if (((have ^ want) & kColourBits) == 0) continue;
                    if (mismatches.size() < kReportedMismatches) mismatches.emplace_back(x, y);
                    if (++mismatch_count >= fewest_mismatches) break;
                }
                if (mismatch_count >= fewest_mismatches) break;
            }
            if (mismatch_count == 0) {
                match.matches = true;
                match.sprite_corner = corner;
                return match;
            }
            if (mismatch_count < fewest_mismatches) {
                fewest_mismatches = mismatch_count;
                best_mismatches = mismatches;
                best_corner = corner;
            }
        }
    }
    std::ostringstream text;
    text << "no sprite position explains the screen; closest: sprite corner (" << best_corner.left << ", "
         << best_corner.top << ") with " << fewest_mismatches << " wrong pixels, first ones:";
    for (const auto& [x, y] : best_mismatches) {
        text << "\n  " << describe_place(layout, samples, x, y) << ": have "
             << hex(capture.pixels[static_cast<size_t>(y * layout.width + x)]) << ", want "
             << hex(frame_pixel(layout, samples, static_scene, best_corner, x, y));
    }
    match.report = text.str();
    return match;
}
