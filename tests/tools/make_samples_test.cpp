// The ten sample images: each file holds the BMP layout its name promises,
// down to the header bytes, and the showcase's decoder takes it.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "decoder/bitmap_decoder.h"
#include "tools/make_samples/sample_files.h"

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiBitfields = 3;

// What each name promises, worked out by hand. Data sizes are stored row
// bytes (rounded up to 4) x height; offsets are 14 + header + masks after a
// 40-byte header + 4 x palette entries. The row pictures stay under 227 px
// wide (W / 6 on a 1366-wide desktop), the sprite between 64 and 128.
struct Promise {
    const char* name;
    uint32_t bi_size;
    uint16_t bit_count;
    uint32_t compression;
    int32_t width;
    int32_t height;
    FormatCode format;
    bool alpha_mask;
    uint32_t palette_entries;
    uint32_t off_bits;
    uint32_t data_size;
    std::vector<uint32_t> masks;  // from offset 54: red, green, blue (, alpha)
};

const std::vector<Promise>& promises() {
    static const std::vector<Promise> rows = {
        {"1bit.bmp", 40, 1, kBiRgb, 200, 150, FORMAT_MONO1, false, 2, 14 + 40 + 8, 28 * 150, {}},
        {"4bit.bmp", 40, 4, kBiRgb, 200, 150, FORMAT_PAL4, false, 16, 14 + 40 + 64, 100 * 150, {}},
        {"8bit.bmp", 40, 8, kBiRgb, 200, 150, FORMAT_PAL8, false, 256, 14 + 40 + 1024, 200 * 150, {}},
        {"16bit.bmp", 40, 16, kBiRgb, 200, 150, FORMAT_RGB16, false, 0, 54, 400 * 150, {}},
        {"24bit.bmp", 40, 24, kBiRgb, 201, 150, FORMAT_RGB24, false, 0, 54, 604 * 150, {}},
        {"32bit.bmp", 40, 32, kBiRgb, 200, 150, FORMAT_RGB32, false, 0, 54, 800 * 150, {}},
        {"32bitAlf2.bmp", 124, 32, kBiBitfields, 200, 150, FORMAT_MASKED32, true, 0, 14 + 124, 800 * 150,
         {0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000}},
        {"16bitAlf.bmp", 108, 16, kBiBitfields, 200, 150, FORMAT_MASKED16, true, 0, 14 + 108, 400 * 150,
         {0x0F00, 0x00F0, 0x000F, 0xF000}},
        {"16Bit_Vorn.bmp", 40, 16, kBiBitfields, 240, 160, FORMAT_MASKED16, false, 0, 66, 480 * 160,
         {0xF800, 0x07E0, 0x001F}},
        {"32BitAlf.bmp", 56, 32, kBiBitfields, 96, 96, FORMAT_MASKED32, true, 0, 14 + 56, 384 * 96,
         {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000}},
    };
    return rows;
}

uint32_t u32_at(const std::vector<uint8_t>& bytes, size_t offset) {
    return uint32_t{bytes.at(offset)} | uint32_t{bytes.at(offset + 1)} << 8 | uint32_t{bytes.at(offset + 2)} << 16 |
           uint32_t{bytes.at(offset + 3)} << 24;
}

uint16_t u16_at(const std::vector<uint8_t>& bytes, size_t offset) {
    return static_cast<uint16_t>(bytes.at(offset) | bytes.at(offset + 1) << 8);
}

void expect_field(const char* field, uint64_t have, uint64_t want) {
    EXPECT_EQ(have, want) << field << ": have " << have << ", want " << want;
}

std::vector<uint8_t> read_bytes(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Decodes one file through the showcase's decoder and copies the pixels out.
std::vector<ArgbPixel> decode(const fs::path& path) {
    decode_bitmap(path.c_str());
    if (decoder_state.loaded == 0) return {};
    const ArgbPixel* pixels = decoded_pixels();
    return {pixels, pixels + size_t{decoder_state.width} * decoder_state.height};
}

// The files are written once into a private folder, as the build writes them.
class MakeSamples : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = fs::temp_directory_path() / ("make_samples_test." + std::to_string(getpid()));
        written_ = samples::write_sample_files(folder_.string());
    }
    static void TearDownTestSuite() {
        release_decoded_pixels();
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    void SetUp() override { ASSERT_TRUE(written_) << "have no sample files in " << folder_ << ", want ten"; }

    static fs::path path_of(const char* name) { return folder_ / name; }

    static inline fs::path folder_;
    static inline bool written_ = false;
};

TEST_F(MakeSamples, MakesTheTenFilesInTheOrderTheShowcaseReadsThem) {
    const std::vector<samples::SampleFile> files = samples::make_sample_files();
    ASSERT_EQ(files.size(), promises().size()) << "have " << files.size() << " files, want " << promises().size();
    for (size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(files[i].name, promises()[i].name)
            << "file " << i << ": have " << files[i].name << ", want " << promises()[i].name;
        EXPECT_TRUE(fs::is_regular_file(path_of(promises()[i].name))) << "have no " << promises()[i].name << " on disk";
    }
}

TEST_F(MakeSamples, HeadersSayTheLayoutTheNamePromises) {
    for (const Promise& row : promises()) {
        SCOPED_TRACE(row.name);
        const std::vector<uint8_t> bytes = read_bytes(path_of(row.name));
        ASSERT_GT(bytes.size(), size_t{70}) << "have " << bytes.size() << " bytes, want a whole file";
        expect_field("bfType", u16_at(bytes, 0), 0x4D42);
        expect_field("bfSize", u32_at(bytes, 2), bytes.size());
        expect_field("bfOffBits", u32_at(bytes, 10), row.off_bits);
        expect_field("biSize", u32_at(bytes, 14), row.bi_size);
        expect_field("biWidth", u32_at(bytes, 18), static_cast<uint32_t>(row.width));
        expect_field("biHeight (bottom-up, so positive)", u32_at(bytes, 22), static_cast<uint32_t>(row.height));
        expect_field("biPlanes", u16_at(bytes, 26), 1);
        expect_field("biBitCount", u16_at(bytes, 28), row.bit_count);
        expect_field("biCompression", u32_at(bytes, 30), row.compression);
        expect_field("biClrUsed", u32_at(bytes, 46), row.palette_entries);
        // The decoder wants biSizeImage to be exactly what follows bfOffBits:
        // the padded rows and nothing after them.
        expect_field("biSizeImage", u32_at(bytes, 34), row.data_size);
        expect_field("file length - bfOffBits", bytes.size() - row.off_bits, row.data_size);
        for (size_t m = 0; m < row.masks.size(); ++m) {
            const uint32_t have = u32_at(bytes, 54 + 4 * m);
            EXPECT_EQ(have, row.masks[m]) << "mask " << m << ": have 0x" << std::hex << have << ", want 0x"
                                          << row.masks[m];
        }
    }
}

TEST_F(MakeSamples, EveryFileDecodesWithTheSizeAndLayoutItWasWrittenWith) {
    for (const Promise& row : promises()) {
        SCOPED_TRACE(row.name);
        decode_bitmap(path_of(row.name).c_str());
        ASSERT_NE(decoder_state.loaded, 0) << "have refusal \"" << decoder_state.refusal << "\", want loaded";
        expect_field("width", decoder_state.width, static_cast<uint32_t>(row.width));
        expect_field("height", decoder_state.height, static_cast<uint32_t>(row.height));
        expect_field("format", decoder_state.format, row.format);
        expect_field("has_alpha_mask set", decoder_state.has_alpha_mask != 0, row.alpha_mask);
    }
}

TEST_F(MakeSamples, TwentyFourBitRowsNeedFillerBytes) {
    const std::vector<uint8_t> bytes = read_bytes(path_of("24bit.bmp"));
    const uint32_t width = u32_at(bytes, 18);
    EXPECT_NE(width * 3 % 4, 0u) << "have width " << width << " (" << width * 3
                                 << " bytes a row), want a row that is not a multiple of 4 bytes";
}

// Pictures with an alpha channel use it: transparent pixels, and soft edges
// of alpha strictly between 0 and 255. 32bit.bmp and the sprite also have
// fully opaque parts.
TEST_F(MakeSamples, AlphaPicturesHaveSoftEdges) {
    struct Row {
        const char* name;
        bool has_opaque_parts;
    };
    constexpr std::array<Row, 4> kRows{{{"32bit.bmp", true}, {"32BitAlf.bmp", true}, {"32bitAlf2.bmp", false}, {"16bitAlf.bmp", true}}};
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        const std::vector<ArgbPixel> pixels = decode(path_of(row.name));
        ASSERT_FALSE(pixels.empty()) << "have a refused file, want a decoded one";
        size_t transparent = 0, opaque = 0, partial = 0;
        for (ArgbPixel p : pixels) {
            const uint32_t alpha = p >> 24;
            if (alpha == 0) ++transparent;
            else if (alpha == 255) ++opaque;
            else ++partial;
        }
        EXPECT_GT(transparent, 0u) << "have no pixel of alpha 0, want a transparent ground";
        EXPECT_GT(partial, 0u) << "have no alpha between 0 and 255, want soft edges";
        if (row.has_opaque_parts) {
            EXPECT_GT(opaque, 0u) << "have no pixel of alpha 255, want opaque parts";
        }
    }
}

TEST_F(MakeSamples, OneBitPaletteIsTwoColoursOtherThanBlackAndWhiteAndBothShow) {
    const std::vector<uint8_t> bytes = read_bytes(path_of("1bit.bmp"));
    // Entries are blue, green, red, reserved, right after the 40-byte header.
    const uint32_t first = u32_at(bytes, 54) & 0xFFFFFF;
    const uint32_t second = u32_at(bytes, 58) & 0xFFFFFF;
    for (uint32_t entry : {first, second}) {
        EXPECT_NE(entry, 0x000000u) << "have a black palette entry, want another colour";
        EXPECT_NE(entry, 0xFFFFFFu) << "have a white palette entry, want another colour";
    }
    EXPECT_NE(first, second) << "have two equal entries 0x" << std::hex << first << ", want two colours";

    const std::vector<ArgbPixel> pixels = decode(path_of("1bit.bmp"));
    ASSERT_FALSE(pixels.empty()) << "have a refused file, want a decoded one";
    const std::set<ArgbPixel> seen(pixels.begin(), pixels.end());
    const std::set<ArgbPixel> want{0xFF000000 | first, 0xFF000000 | second};
    EXPECT_EQ(seen, want) << "have " << seen.size() << " colours, want exactly the two of the palette";
}

// The palette pictures need their depth: every one of the sixteen colours
// shows in 4bit.bmp, and 8bit.bmp shows more than a 4-bit file could.
TEST_F(MakeSamples, PalettePicturesUseTheirDepth) {
    struct Row {
        const char* name;
        size_t fewest_colours;
    };
    constexpr std::array<Row, 2> kRows{{{"4bit.bmp", 16}, {"8bit.bmp", 17}}};
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        const std::vector<ArgbPixel> pixels = decode(path_of(row.name));
        ASSERT_FALSE(pixels.empty()) << "have a refused file, want a decoded one";
        const std::set<ArgbPixel> seen(pixels.begin(), pixels.end());
        EXPECT_GE(seen.size(), row.fewest_colours)
            << "have " << seen.size() << " distinct colours, want at least " << row.fewest_colours;
    }
}

// 5-5-5 leaves the top bit of every 16-bit word unused; a 5-6-5 picture
// written by mistake would set it in its red and bright pixels.
TEST_F(MakeSamples, SixteenBitRgbWordsLeaveTheTopBitClear) {
    const std::vector<uint8_t> bytes = read_bytes(path_of("16bit.bmp"));
    const uint32_t off_bits = u32_at(bytes, 10);
    const uint32_t width = u32_at(bytes, 18), height = u32_at(bytes, 22);
    const size_t stride = (width * 2 + 3) / 4 * 4;
    ASSERT_EQ(bytes.size(), off_bits + stride * height) << "have " << bytes.size() << " bytes, want whole rows";
    size_t set = 0;
    for (uint32_t row = 0; row < height; ++row)
        for (uint32_t x = 0; x < width; ++x) set += (u16_at(bytes, off_bits + row * stride + 2 * x) & 0x8000) != 0;
    EXPECT_EQ(set, 0u) << "have " << set << " words with bit 15 set, want none";
}

TEST_F(MakeSamples, PaintsTheSameBytesEveryTime) {
    const std::vector<samples::SampleFile> again = samples::make_sample_files();
    for (const samples::SampleFile& file : again) {
        SCOPED_TRACE(file.name);
        EXPECT_TRUE(file.bytes == read_bytes(path_of(file.name.c_str())))
            << "have bytes that differ from the first run, want the same picture every run";
    }
}

TEST(WriteSampleFiles, FailsWhenTheFolderCannotBeMade) {
    const fs::path blocker = fs::temp_directory_path() / ("make_samples_blocker." + std::to_string(getpid()));
    std::ofstream(blocker) << "a file, not a folder";
    EXPECT_FALSE(samples::write_sample_files((blocker / "samples").string()))
        << "have success below a plain file, want failure";
    fs::remove(blocker);
}

int run(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(MakeSamplesTool, WritesTheFilesIntoItsArgumentAndRefusesAMissingOne) {
    const fs::path folder = fs::temp_directory_path() / ("make_samples_tool." + std::to_string(getpid()));
    const std::string tool = MAKE_SAMPLES_PATH;
    EXPECT_EQ(run(tool + " 2>/dev/null"), 2) << "have another status without OUTDIR, want 2 (usage)";
    ASSERT_EQ(run(tool + " '" + folder.string() + "'"), 0) << "have a failure, want status 0";
    for (const samples::SampleFile& file : samples::make_sample_files()) {
        SCOPED_TRACE(file.name);
        EXPECT_TRUE(read_bytes(folder / file.name) == file.bytes) << "have other bytes on disk, want the painted file";
    }
    fs::remove_all(folder);
}

}  // namespace
