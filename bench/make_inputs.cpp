// Writes the decode inputs: one 3840 x 2160 BMP per layout, through our own
// BMP writer. All of them show the same drawn picture (a sky gradient, flat
// shapes, a stretch of fine texture and a band of small marks), so the
// run-length files get the runs a real illustration or screen shot has:
// long encoded runs over flat colour and absolute runs over the texture.
//
//   bench_make_inputs OUTPUT_DIR
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/harness.h"
#include "bench/layouts.h"
#include "tools/bmp_writer/bmp_writer.h"

namespace {

using bench::kInputHeight;
using bench::kInputWidth;

uint32_t noise(uint32_t x, uint32_t y) { return bench::mix_bits(x * 0x9E3779B9u ^ (y + 0x632BE5ABu)); }

bool inside_disc(int64_t x, int64_t y, int64_t cx, int64_t cy, int64_t radius) {
    return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius;
}

// The 8-bit index picture. Index ranges: 0-63 sky, 64-95 ground, 96-127 flat
// shapes, 128-255 texture and marks. The 4-bit and 1-bit files use the top
// bits of the same index.
uint8_t picture_index(uint32_t x, uint32_t y) {
    const uint32_t w = kInputWidth;
    const uint32_t h = kInputHeight;
    if (x >= w * 55 / 100 && x < w * 95 / 100 && y >= h / 10 && y < h * 6 / 10) {
        // A photograph-like patch: neighbouring pixels rarely repeat.
        return static_cast<uint8_t>(160 + noise(x / 2, y / 2) % 96);
    }
    if (y >= h * 76 / 100 && y < h * 84 / 100 && noise(x / 3, y / 3) % 5 == 0) {
        return 128;  // small dark marks, like a line of text
    }
    if (inside_disc(x, y, w / 5, h / 3, h / 5)) return 100;
    if (inside_disc(x, y, w * 2 / 5, h / 2, h / 8)) return 104;
    if (x >= w / 12 && x < w / 3 && y >= h * 62 / 100 && y < h * 72 / 100) return 110;
    if (y >= h * 7 / 10) return static_cast<uint8_t>(64 + (x * 32 / w));
    return static_cast<uint8_t>(y * 64 / h);
}

std::vector<uint32_t> make_palette256() {
    std::vector<uint32_t> palette(256);
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t r = 0;
        uint32_t g = 0;
        uint32_t b = 0;
        if (i < 64) {  // sky: deep blue to pale
            r = 40 + i * 2;
            g = 80 + i * 2;
            b = 160 + i;
        } else if (i < 96) {  // ground: greens to browns
            r = 60 + (i - 64) * 4;
            g = 120 + (i - 64);
            b = 40;
        } else if (i < 128) {  // shapes
            r = 200 + (i - 96);
            g = 60 + (i - 96) * 5;
            b = 30 + (i - 96) * 3;
        } else if (i == 128) {
            r = g = b = 24;
        } else {  // texture
            r = (i * 37) & 0xFF;
            g = (i * 91) & 0xFF;
            b = (i * 53) & 0xFF;
        }
        palette[i] = (r << 16) | (g << 8) | b;
    }
    return palette;
}

// The direct-colour picture: the palette colour plus a gentle horizontal
// shade, so neighbouring pixels of a flat shape still differ a little; alpha
// opaque over most of the picture, ramping down at the bottom edge, and 0 in
// the left-most strip.
uint32_t picture_argb(const std::vector<uint32_t>& palette, uint32_t x, uint32_t y) {
    const uint32_t base = palette[picture_index(x, y)];
    const uint32_t shade = (x * 31 / kInputWidth);
    auto channel = [&](int shift) {
        const uint32_t value = ((base >> shift) & 0xFF) + shade;
        return value > 255 ? 255u : value;
    };
    uint32_t alpha = 255;
    if (x < kInputWidth / 64) {
        alpha = 0;
    } else if (y >= kInputHeight * 9 / 10) {
        alpha = 255 - (y - kInputHeight * 9 / 10) * 255 / (kInputHeight / 10);
    }
    return (alpha << 24) | (channel(16) << 16) | (channel(8) << 8) | channel(0);
}

uint32_t to_555(uint32_t argb) {
    return (((argb >> 19) & 0x1F) << 10) | (((argb >> 11) & 0x1F) << 5) | ((argb >> 3) & 0x1F);
}
uint32_t to_565(uint32_t argb) {
    return (((argb >> 19) & 0x1F) << 11) | (((argb >> 10) & 0x3F) << 5) | ((argb >> 3) & 0x1F);
}
uint32_t to_4444(uint32_t argb) {
    return (((argb >> 28) & 0xF) << 12) | (((argb >> 20) & 0xF) << 8) |
           (((argb >> 12) & 0xF) << 4) | ((argb >> 4) & 0xF);
}

bool write_input(const std::string& dir, const char* name, const bmp_writer::BmpSpec& spec) {
    const std::string path = dir + "/" + name;
    if (!bmp_writer::write_file(path, bmp_writer::build_bmp(spec))) {
        std::fprintf(stderr, "bench_make_inputs: cannot write %s\n", path.c_str());
        return false;
    }
    std::printf("wrote %s\n", path.c_str());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    mkdir(dir.c_str(), 0755);

    const uint32_t w = kInputWidth;
    const uint32_t h = kInputHeight;
    const size_t count = static_cast<size_t>(w) * h;
    const std::vector<uint32_t> palette256 = make_palette256();

    std::vector<uint8_t> index8(count);
    std::vector<uint32_t> argb(count);
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            index8[size_t{y} * w + x] = picture_index(x, y);
            argb[size_t{y} * w + x] = picture_argb(palette256, x, y);
        }
    }

    std::vector<uint32_t> palette16(16);
    for (uint32_t i = 0; i < 16; ++i) palette16[i] = palette256[i * 16 + 8];
    const std::vector<uint32_t> palette2 = {0x203A60, 0xF0D890};  // navy and sand

    auto base_spec = [&](uint16_t bit_count, uint32_t compression) {
        bmp_writer::BmpSpec spec;
        spec.width = static_cast<int32_t>(w);
        spec.height = static_cast<int32_t>(h);
        spec.bit_count = bit_count;
        spec.compression = compression;
        return spec;
    };
    auto values_from = [&](auto value_of) {
        std::vector<uint32_t> values(count);
        for (size_t i = 0; i < count; ++i) values[i] = value_of(i);
        return values;
    };

    bool ok = true;
    {
        bmp_writer::BmpSpec spec = base_spec(1, 0);
        spec.palette = palette2;
        spec.pixel_data = bmp_writer::pack_rows(
            values_from([&](size_t i) { return uint32_t{index8[i]} >> 7; }), w, h, 1);
        ok &= write_input(dir, "pal1.bmp", spec);
    }
    {
        bmp_writer::BmpSpec spec = base_spec(4, 0);
        spec.palette = palette16;
        spec.pixel_data = bmp_writer::pack_rows(
            values_from([&](size_t i) { return uint32_t{index8[i]} >> 4; }), w, h, 4);
        ok &= write_input(dir, "pal4.bmp", spec);
    }
    {
        bmp_writer::BmpSpec spec = base_spec(8, 0);
        spec.palette = palette256;
        spec.pixel_data = bmp_writer::pack_rows(
            values_from([&](size_t i) { return uint32_t{index8[i]}; }), w, h, 8);
        ok &= write_input(dir, "pal8.bmp", spec);
    }
    {
        bmp_writer::BmpSpec spec = base_spec(16, 0);
        spec.pixel_data = bmp_writer::pack_rows(
            values_from([&](size_t i) { return to_555(argb[i]); }), w, h, 16);
        ok &= write_input(dir, "rgb555.bmp", spec);
    }
    {
        bmp_writer::BmpSpec spec = base_spec(16, 3);
        spec.masks = {0xF800, 0x07E0, 0x001F};
        spec.pixel_data = bmp_writer::pack_rows(
            values_from([&](size_t i) { return to_565(argb[i]); }), w, h, 16);
        ok &= write_input(dir, "rgb565.bmp", spec);
    }
    {
        bmp_writer::BmpSpec spec = base_spec(16, 3);
        spec.info_size = 108;
        spec.masks = {0x0F00, 0x00F0, 0x000F, 0xF000};
        spec.pixel_data = bmp_writer::pack_rows(
            values_from([&](size_t i) { return to_4444(argb[i]); }), w, h, 16);
        ok &= write_input(dir, "argb4444.bmp", spec);
    }
    {
        bmp_writer::BmpSpec spec = base_spec(24, 0);
        spec.pixel_data = bmp_writer::pack_rows(
            values_from([&](size_t i) { return argb[i] & 0xFFFFFF; }), w, h, 24);
        ok &= write_input(dir, "rgb24.bmp", spec);
    }
    {
        bmp_writer::BmpSpec spec = base_spec(32, 0);
        spec.pixel_data = bmp_writer::pack_rows(argb, w, h, 32);
        ok &= write_input(dir, "rgb32.bmp", spec);
    }
    {
        bmp_writer::BmpSpec spec = base_spec(32, 3);
        spec.info_size = 108;
        spec.masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
        spec.pixel_data = bmp_writer::pack_rows(argb, w, h, 32);
        ok &= write_input(dir, "argb32.bmp", spec);
    }
    {
        bmp_writer::BmpSpec spec = base_spec(8, 1);
        spec.palette = palette256;
        spec.pixel_data = bmp_writer::encode_rle8(index8, w, h);
        ok &= write_input(dir, "rle8.bmp", spec);
    }
    {
        std::vector<uint8_t> index4(count);
        for (size_t i = 0; i < count; ++i) index4[i] = static_cast<uint8_t>(index8[i] >> 4);
        bmp_writer::BmpSpec spec = base_spec(4, 2);
        spec.palette = palette16;
        spec.pixel_data = bmp_writer::encode_rle4(index4, w, h);
        ok &= write_input(dir, "rle4.bmp", spec);
    }
    return ok ? 0 : 1;
}
