// Writes the decode fuzzer's seed corpus: small files of every layout,
// run-length streams, channel masks, odd headers, and pairs of files joined by
// the fuzzer's separator.
//   make_fuzz_seeds OUTDIR
#include <cstdio>
#include <string>
#include <vector>

#include "tools/bmp_writer/bmp_writer.h"

using bmp_writer::BmpSpec;

namespace {

constexpr uint32_t kWidth = 7;  // odd, so every layout pads its rows
constexpr uint32_t kHeight = 5;

std::vector<uint32_t> pattern(uint32_t modulus) {
    std::vector<uint32_t> values;
    for (uint32_t y = 0; y < kHeight; ++y)
        for (uint32_t x = 0; x < kWidth; ++x) values.push_back((x * 37u + y * 101u + x * y) % modulus);
    return values;
}

std::vector<uint32_t> grey_palette(uint32_t entries) {
    std::vector<uint32_t> palette;
    for (uint32_t i = 0; i < entries; ++i) {
        uint32_t v = entries > 1 ? i * 255 / (entries - 1) : 0;
        palette.push_back(v << 16 | (255 - v) << 8 | (v * 7 & 0xFF));
    }
    return palette;
}

BmpSpec plain(uint16_t bit_count, uint32_t modulus) {
    BmpSpec spec;
    spec.width = kWidth;
    spec.height = kHeight;
    spec.bit_count = bit_count;
    spec.pixel_data = bmp_writer::pack_rows(pattern(modulus), kWidth, kHeight, bit_count);
    return spec;
}

std::vector<uint8_t> indices(uint32_t modulus) {
    std::vector<uint8_t> result;
    for (uint32_t i = 0; i < kWidth * kHeight; ++i) result.push_back(static_cast<uint8_t>((i / 3) % modulus));
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_seeds OUTDIR\n");
        return 2;
    }
    const std::string out = argv[1];
    std::vector<std::pair<std::string, std::vector<uint8_t>>> seeds;
    auto add = [&](const std::string& name, const BmpSpec& spec) {
        seeds.emplace_back(name, bmp_writer::build_bmp(spec));
    };

    BmpSpec mono = plain(1, 2);
    mono.palette = {0x203040, 0xF0E0D0};
    add("mono1", mono);
    BmpSpec pal4 = plain(4, 16);
    pal4.palette = grey_palette(16);
    add("pal4", pal4);
    BmpSpec pal8 = plain(8, 256);
    pal8.palette = grey_palette(256);
    add("pal8", pal8);
    BmpSpec pal8_short = pal8;
    pal8_short.palette = grey_palette(12);
    add("pal8-short-palette", pal8_short);
    add("rgb16-555", plain(16, 0x8000));
    add("rgb24", plain(24, 0x1000000));
    add("rgb32", plain(32, 0xFFFFFFFF));

    struct MaskSeed { const char* name; uint16_t bits; uint32_t info_size; std::vector<uint32_t> masks; };
    const MaskSeed mask_seeds[] = {
        {"masked16-565", 16, 40, {0xF800, 0x07E0, 0x001F}},
        {"masked16-1555", 16, 56, {0x7C00, 0x03E0, 0x001F, 0x8000}},
        {"masked16-4444", 16, 108, {0x0F00, 0x00F0, 0x000F, 0xF000}},
        {"masked16-gappy", 16, 124, {0xF00F, 0x0780, 0x0070, 0x0800}},
        {"masked32-argb", 32, 124, {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000}},
        {"masked32-noalpha", 32, 40, {0x00FF0000, 0x0000FF00, 0x000000FF}},
        {"masked32-1010102", 32, 56, {0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000}},
        {"masked32-wide", 32, 52, {0x0000FFFF, 0xFFFF0000, 0x00000000}},
    };
    for (const MaskSeed& seed : mask_seeds) {
        BmpSpec spec = plain(seed.bits, seed.bits == 16 ? 0x10000 : 0xFFFFFFFF);
        spec.compression = 3;
        spec.info_size = seed.info_size;
        spec.masks = seed.masks;
        add(seed.name, spec);
    }

    BmpSpec rle8;
    rle8.width = kWidth;
    rle8.height = kHeight;
    rle8.bit_count = 8;
    rle8.compression = 1;
    rle8.palette = grey_palette(256);
    rle8.pixel_data = bmp_writer::encode_rle8(indices(256), kWidth, kHeight);
    add("rle8", rle8);
    BmpSpec rle4 = rle8;
    rle4.bit_count = 4;
    rle4.compression = 2;
    rle4.palette = grey_palette(16);
    rle4.pixel_data = bmp_writer::encode_rle4(indices(16), kWidth, kHeight);
    add("rle4", rle4);
    // Hand-made stream: a run, a delta, an absolute run, end of line, end of bitmap.
    BmpSpec rle8_delta = rle8;
    rle8_delta.pixel_data = {3, 9, 0, 2, 1, 1, 0, 3, 4, 5, 6, 0, 0, 0, 2, 7, 0, 1};
    add("rle8-delta", rle8_delta);

    BmpSpec top_down = plain(24, 0x1000000);
    top_down.height = -static_cast<int32_t>(kHeight);
    top_down.pixel_data = bmp_writer::pack_rows(pattern(0x1000000), kWidth, kHeight, 24, true);
    add("rgb24-topdown", top_down);
    BmpSpec v5 = pal8;
    v5.info_size = 124;
    add("pal8-v5", v5);
    BmpSpec core = pal8;
    core.info_size = 12;
    add("pal8-os2", core);
    BmpSpec bad_size = plain(24, 0x1000000);
    bad_size.size_image = 0;
    add("rgb24-sizeimage0", bad_size);

    // Pairs: a masked file after a palette file and the reverse, so that state
    // left by one layout meets another.
    const std::string separator = "\nNEXTBMP\n";
    const size_t singles = seeds.size();
    for (size_t i = 0; i < singles; ++i) {
        const auto& first = seeds[i];
        const auto& second = seeds[(i * 5 + 3) % singles];
        std::vector<uint8_t> joined = first.second;
        joined.insert(joined.end(), separator.begin(), separator.end());
        joined.insert(joined.end(), second.second.begin(), second.second.end());
        seeds.emplace_back(first.first + "+" + second.first, joined);
    }

    for (const auto& [name, bytes] : seeds) {
        if (!bmp_writer::write_file(out + "/" + name + ".bmp", bytes)) {
            std::fprintf(stderr, "make_fuzz_seeds: cannot write %s/%s.bmp\n", out.c_str(), name.c_str());
            return 1;
        }
    }
    return 0;
}
