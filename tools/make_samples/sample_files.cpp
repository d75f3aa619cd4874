#include "tools/make_samples/sample_files.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <system_error>

#include "tools/bmp_writer/bmp_writer.h"
#include "tools/make_samples/artwork.h"

namespace samples {
namespace {

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiBitfields = 3;
constexpr uint32_t kInfoHeader = 40;     // BITMAPINFOHEADER
constexpr uint32_t kV3Header = 56;       // BITMAPINFOHEADER with all four masks
constexpr uint32_t kV4Header = 108;      // BITMAPV4HEADER
constexpr uint32_t kV5Header = 124;      // BITMAPV5HEADER

// V4 and V5 headers name a colour space after the masks; zero there would
// mean "calibrated RGB" with zero end points, which careful viewers honour.
constexpr size_t kOffsetCsType = bmp_writer::kFileHeaderSize + 56;
constexpr uint32_t kLcsSrgb = 0x73524742;  // 'sRGB'
constexpr size_t kOffsetV5Intent = bmp_writer::kFileHeaderSize + 108;
constexpr uint32_t kLcsGmImages = 4;  // perceptual rendering intent

// 1-bit palette: night indigo and moonlight, so the file shows its own two
// colours rather than black and white.
constexpr uint32_t kMoonDark = 0x1B1F4B;
constexpr uint32_t kMoonLight = 0xF5DFA8;

// An ordered-dither threshold in (0, 1) per pixel: the 8 x 8 Bayer matrix.
// Ordered rather than error-diffused for everything but the 1-bit picture,
// so that flat areas of the reduced pictures stay calm.
float threshold(int x, int y) {
    static constexpr uint8_t kBayer[8][8] = {
        {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26}, {12, 44, 4, 36, 14, 46, 6, 38},
        {60, 28, 52, 20, 62, 30, 54, 22}, {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
        {15, 47, 7, 39, 13, 45, 5, 37},  {63, 31, 55, 23, 61, 29, 53, 21}};
    return (kBayer[y & 7][x & 7] + 0.5f) / 64.0f;
}

// A channel 0..1 as one of 0..max_level, dithered so that the average over a
// patch keeps the exact level.
uint32_t dither(float value, uint32_t max_level, int x, int y) {
    const float level = std::floor(std::clamp(value, 0.0f, 1.0f) * max_level + threshold(x, y));
    return std::min(static_cast<uint32_t>(level), max_level);
}

uint32_t to_byte(float value) { return static_cast<uint32_t>(std::lround(std::clamp(value, 0.0f, 1.0f) * 255.0f)); }

const Rgba& at(const Picture& picture, int x, int y) {
    return picture.pixels[static_cast<size_t>(y) * picture.width + x];
}

// Applies `word(colour, x, y)` to every pixel, top-down.
template <class Word>
std::vector<uint32_t> words(const Picture& picture, Word word) {
    std::vector<uint32_t> out;
    out.reserve(picture.pixels.size());
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) out.push_back(word(at(picture, x, y), x, y));
    return out;
}

// Two colours by Floyd-Steinberg error diffusion over the grey level in `r`,
// snaking along the rows so the error does not pile up at one side.
std::vector<uint32_t> two_tone_indices(const Picture& picture) {
    const int w = picture.width;
    std::vector<float> level(picture.pixels.size());
    for (size_t i = 0; i < level.size(); ++i) level[i] = picture.pixels[i].r;
    std::vector<uint32_t> out(level.size());
    auto spread = [&](int x, int y, float amount) {
        if (x >= 0 && x < w && y < picture.height) level[static_cast<size_t>(y) * w + x] += amount;
    };
    for (int y = 0; y < picture.height; ++y) {
        const bool forward = y % 2 == 0;
        const int step = forward ? 1 : -1;
        for (int i = 0; i < w; ++i) {
            const int x = forward ? i : w - 1 - i;
            const size_t index = static_cast<size_t>(y) * w + x;
            const uint32_t bit = level[index] >= 0.5f ? 1 : 0;
            const float error = level[index] - static_cast<float>(bit);
            out[index] = bit;
            spread(x + step, y, error * 7 / 16);
            spread(x - step, y + 1, error * 3 / 16);
            spread(x, y + 1, error * 5 / 16);
            spread(x + step, y + 1, error * 1 / 16);
        }
    }
    return out;
}

// Palette indices by ordered dithering between the two entries whose mix
// comes closest to each colour. Mixes of far-apart entries pay a penalty, as
// their dots would show as noise.
std::vector<uint32_t> palette_indices(const Picture& picture, const std::vector<uint32_t>& palette) {
    constexpr float kSpreadPenalty = 0.3f;
    struct Entry {
        float r, g, b;
    };
    std::vector<Entry> entries;
    for (uint32_t hex : palette)
        entries.push_back({((hex >> 16) & 0xFF) / 255.0f, ((hex >> 8) & 0xFF) / 255.0f, (hex & 0xFF) / 255.0f});
    return words(picture, [&](const Rgba& c, int x, int y) {
        float best_error = std::numeric_limits<float>::max();
        uint32_t best_low = 0, best_high = 0;
        float best_t = 0;
        for (size_t i = 0; i < entries.size(); ++i) {
            for (size_t j = i; j < entries.size(); ++j) {
                const Entry& p = entries[i];
                const Entry& q = entries[j];
                const float dr = q.r - p.r, dg = q.g - p.g, db = q.b - p.b;
                const float length2 = dr * dr + dg * dg + db * db;
                float t = 0;
                if (length2 > 0) t = std::clamp(((c.r - p.r) * dr + (c.g - p.g) * dg + (c.b - p.b) * db) / length2, 0.0f, 1.0f);
                const float er = c.r - (p.r + t * dr), eg = c.g - (p.g + t * dg), eb = c.b - (p.b + t * db);
                const float error = er * er + eg * eg + eb * eb + kSpreadPenalty * t * (1 - t) * length2;
                if (error < best_error) {
                    best_error = error;
                    best_low = static_cast<uint32_t>(i);
                    best_high = static_cast<uint32_t>(j);
                    best_t = t;
                }
            }
        }
        return threshold(x, y) < best_t ? best_high : best_low;
    });
}

bmp_writer::BmpSpec layout_for(int width, int height, uint16_t bit_count, uint32_t compression, uint32_t info_size) {
    bmp_writer::BmpSpec layout;
    layout.width = width;
    layout.height = height;  // positive: rows stored bottom-up
    layout.bit_count = bit_count;
    layout.compression = compression;
    layout.info_size = info_size;
    return layout;
}

// Packs the top-down values into stored rows and builds the file. The writer
// sets biSizeImage to exactly the pixel data and adds nothing after it,
// which the showcase's decoder insists on.
std::vector<uint8_t> finish(bmp_writer::BmpSpec layout, const std::vector<uint32_t>& values) {
    layout.pixel_data = bmp_writer::pack_rows(values, static_cast<uint32_t>(layout.width),
                                            static_cast<uint32_t>(layout.height), layout.bit_count);
    std::vector<uint8_t> bytes = bmp_writer::build_bmp(layout);
    if (layout.info_size >= kV4Header) bmp_writer::put_u32(bytes, kOffsetCsType, kLcsSrgb);
    if (layout.info_size >= kV5Header) bmp_writer::put_u32(bytes, kOffsetV5Intent, kLcsGmImages);
    return bytes;
}

std::vector<uint8_t> make_1bit() {
    const Picture moon = paint_moon();
    bmp_writer::BmpSpec layout = layout_for(moon.width, moon.height, 1, kBiRgb, kInfoHeader);
    layout.palette = {kMoonDark, kMoonLight};
    return finish(layout, two_tone_indices(moon));
}

std::vector<uint8_t> make_4bit() {
    const Picture sunset = paint_sunset();
    bmp_writer::BmpSpec layout = layout_for(sunset.width, sunset.height, 4, kBiRgb, kInfoHeader);
    layout.palette = sunset_palette();
    return finish(layout, palette_indices(sunset, layout.palette));
}

std::vector<uint8_t> make_8bit() {
    const IndexedPicture fractal = paint_fractal();
    bmp_writer::BmpSpec layout = layout_for(fractal.width, fractal.height, 8, kBiRgb, kInfoHeader);
    layout.palette = fractal.palette;
    return finish(layout, std::vector<uint32_t>(fractal.indices.begin(), fractal.indices.end()));
}

// 16-bit BI_RGB is 5-5-5 with the top bit unused.
std::vector<uint8_t> make_16bit() {
    const Picture waves = paint_waves();
    return finish(layout_for(waves.width, waves.height, 16, kBiRgb, kInfoHeader),
                  words(waves, [](const Rgba& c, int x, int y) {
                      return dither(c.r, 31, x, y) << 10 | dither(c.g, 31, x, y) << 5 | dither(c.b, 31, x, y);
                  }));
}

std::vector<uint8_t> make_24bit() {
    const Picture bubbles = paint_bubbles();
    return finish(layout_for(bubbles.width, bubbles.height, 24, kBiRgb, kInfoHeader),
                  words(bubbles, [](const Rgba& c, int, int) {
                      return to_byte(c.r) << 16 | to_byte(c.g) << 8 | to_byte(c.b);
                  }));
}

// Straight alpha, as the showcase blends: a fully transparent pixel keeps no colour.
uint32_t argb_word(const Rgba& c) {
    const uint32_t alpha = to_byte(c.a);
    if (alpha == 0) return 0;
    return alpha << 24 | to_byte(c.r) << 16 | to_byte(c.g) << 8 | to_byte(c.b);
}

// 32-bit BI_RGB whose fourth byte carries the alpha.
std::vector<uint8_t> make_32bit() {
    const Picture flower = paint_flower();
    return finish(layout_for(flower.width, flower.height, 32, kBiRgb, kInfoHeader),
                  words(flower, [](const Rgba& c, int, int) { return argb_word(c); }));
}

// Bit fields in the order R, G, B, A from the first byte: unlike the
// sprite's layout, so the two 32-bit masked files take different paths
// through the mask analysis.
std::vector<uint8_t> make_32bit_alf2() {
    const Picture halo = paint_halo();
    bmp_writer::BmpSpec layout = layout_for(halo.width, halo.height, 32, kBiBitfields, kV5Header);
    layout.masks = {0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000};
    return finish(layout, words(halo, [](const Rgba& c, int, int) {
                      const uint32_t alpha = to_byte(c.a);
                      if (alpha == 0) return 0u;
                      return alpha << 24 | to_byte(c.b) << 16 | to_byte(c.g) << 8 | to_byte(c.r);
                  }));
}

std::vector<uint8_t> make_16bit_alf() {
    const Picture star = paint_star();
    bmp_writer::BmpSpec layout = layout_for(star.width, star.height, 16, kBiBitfields, kV4Header);
    layout.masks = {0x0F00, 0x00F0, 0x000F, 0xF000};
    return finish(layout, words(star, [](const Rgba& c, int x, int y) {
                      const uint32_t alpha = dither(c.a, 15, x, y);
                      if (alpha == 0) return 0u;
                      return alpha << 12 | dither(c.r, 15, x, y) << 8 | dither(c.g, 15, x, y) << 4 | dither(c.b, 15, x, y);
                  }));
}

// The classic layout of 16-bit bit-field files: a plain 40-byte header with
// the three colour masks right behind it.
std::vector<uint8_t> make_16bit_vorn() {
    const Picture tiles = paint_truchet();
    bmp_writer::BmpSpec layout = layout_for(tiles.width, tiles.height, 16, kBiBitfields, kInfoHeader);
    layout.masks = {0xF800, 0x07E0, 0x001F};
    return finish(layout, words(tiles, [](const Rgba& c, int x, int y) {
                      return dither(c.r, 31, x, y) << 11 | dither(c.g, 63, x, y) << 5 | dither(c.b, 31, x, y);
                  }));
}

// The sprite: ARGB bit fields in a header just large enough to hold the alpha mask.
std::vector<uint8_t> make_32bit_alf() {
    const Picture ball = paint_ball();
    bmp_writer::BmpSpec layout = layout_for(ball.width, ball.height, 32, kBiBitfields, kV3Header);
    layout.masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
    return finish(layout, words(ball, [](const Rgba& c, int, int) { return argb_word(c); }));
}

}  // namespace

std::vector<SampleFile> make_sample_files() {
    return {
        {"1bit.bmp", make_1bit()},
        {"4bit.bmp", make_4bit()},
        {"8bit.bmp", make_8bit()},
        {"16bit.bmp", make_16bit()},
        {"24bit.bmp", make_24bit()},
        {"32bit.bmp", make_32bit()},
        {"32bitAlf2.bmp", make_32bit_alf2()},
        {"16bitAlf.bmp", make_16bit_alf()},
        {"16Bit_Vorn.bmp", make_16bit_vorn()},
        {"32BitAlf.bmp", make_32bit_alf()},
    };
}

bool write_sample_files(const std::string& directory) {
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (error) return false;
    for (const SampleFile& file : make_sample_files()) {
        if (!bmp_writer::write_file((std::filesystem::path(directory) / file.name).string(), file.bytes)) return false;
    }
    return true;
}

}  // namespace samples
