// Runs the built bmp2png on small files made with bmp_writer and checks what
// a user sees: exit status, the lines on stdout and stderr, and the pixels of
// the PNG read back through libpng.
#include <fcntl.h>
#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "tools/bmp_writer/bmp_writer.h"

namespace {

namespace fs = std::filesystem;
using bmp_writer::BmpSpec;
constexpr uint32_t kBiBitfields = 3;

struct RunResult {
    int exit_code = -1;
    std::string out;
    std::string err;
};

std::string read_text(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream stream(text);
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    return lines;
}

bool starts_with(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

struct Picture {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint32_t> argb;  // top-down, 0xAARRGGBB rebuilt from the PNG's R, G, B, A bytes
};

// Reads an 8-bit RGBA PNG with the plain libpng interface, asking for no
// transformation, so the bytes are exactly those in the file.
std::optional<Picture> read_png(const fs::path& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return std::nullopt;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    Picture picture;
    bool good = false;
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, file);
        png_read_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
        if (png_get_color_type(png, info) == PNG_COLOR_TYPE_RGB_ALPHA && png_get_bit_depth(png, info) == 8) {
            picture.width = png_get_image_width(png, info);
            picture.height = png_get_image_height(png, info);
            png_bytepp rows = png_get_rows(png, info);
            for (uint32_t y = 0; y < picture.height; ++y) {
                for (uint32_t x = 0; x < picture.width; ++x) {
                    const png_bytep p = rows[y] + x * 4;
                    picture.argb.push_back(static_cast<uint32_t>(p[3]) << 24 | static_cast<uint32_t>(p[0]) << 16 |
                                           static_cast<uint32_t>(p[1]) << 8 | p[2]);
                }
            }
            good = true;
        }
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    if (!good) return std::nullopt;
    return picture;
}

void expect_picture(const fs::path& path, uint32_t width, uint32_t height, const std::vector<uint32_t>& want) {
    const std::optional<Picture> have = read_png(path);
    ASSERT_TRUE(have.has_value()) << "have no readable 8-bit RGBA PNG at " << path << ", want one";
    ASSERT_EQ(have->width, width) << "have width " << have->width << ", want " << width;
    ASSERT_EQ(have->height, height) << "have height " << have->height << ", want " << height;
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(have->argb[i], want[i]) << "at (" << i % width << ", " << i / width << ") have 0x" << std::hex
                                          << have->argb[i] << ", want 0x" << want[i];
    }
}

// Small files and what they must become, top row first.
BmpSpec rgb24_2x2() {
    BmpSpec spec;
    spec.width = 2;
    spec.height = 2;
    spec.bit_count = 24;
    spec.pixel_data = bmp_writer::pack_rows({0x112233, 0x445566, 0x778899, 0xAABBCC}, 2, 2, 24);
    return spec;
}
const std::vector<uint32_t> kRgb24_2x2 = {0xFF112233, 0xFF445566, 0xFF778899, 0xFFAABBCC};

BmpSpec pal8_3x2(std::vector<uint32_t> palette) {
    BmpSpec spec;
    spec.width = 3;
    spec.height = 2;
    spec.bit_count = 8;
    spec.palette = std::move(palette);
    spec.pixel_data = bmp_writer::pack_rows({0, 1, 2, 3, 2, 1}, 3, 2, 8);
    return spec;
}

class Bmp2Png : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "bmp2png_test.XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr) << "have no temporary folder, want one";
        dir_ = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    fs::path write_bmp(const std::string& name, const BmpSpec& spec) {
        const fs::path path = dir_ / name;
        EXPECT_TRUE(bmp_writer::write_file(path.string(), bmp_writer::build_bmp(spec))) << "cannot write " << path;
        return path;
    }

    RunResult run(const std::vector<std::string>& args) {
        const fs::path out_path = dir_ / ".stdout";
        const fs::path err_path = dir_ / ".stderr";
        std::vector<char*> argv;
        std::string program = BMP2PNG_PATH;
        argv.push_back(program.data());
        std::vector<std::string> copies = args;
        for (std::string& arg : copies) argv.push_back(arg.data());
        argv.push_back(nullptr);

        const pid_t child = fork();
        if (child == 0) {
            const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(127);
            execv(argv[0], argv.data());
            _exit(127);
        }
        RunResult result;
        int status = 0;
        if (child < 0 || waitpid(child, &status, 0) != child) return result;
        result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        result.out = read_text(out_path);
        result.err = read_text(err_path);
        fs::remove(out_path);
        fs::remove(err_path);
        return result;
    }

    // Files in the folder other than the ones the test put there on purpose.
    std::vector<std::string> names_in(const fs::path& folder) {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path dir_;
};

TEST_F(Bmp2Png, WritesStraightRgbaTopRowFirst) {
    struct Row {
        const char* name;
        BmpSpec spec;
        uint32_t width;
        uint32_t height;
        std::vector<uint32_t> want;
    };
    BmpSpec masked32;
    masked32.width = 2;
    masked32.height = 1;
    masked32.bit_count = 32;
    masked32.compression = kBiBitfields;
    masked32.info_size = 56;
    masked32.masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
    // Straight alpha: a colour under alpha 0x00 or 0x80 comes out as stored.
    masked32.pixel_data = bmp_writer::pack_rows({0x80102030, 0x00FFEEDD}, 2, 1, 32);

    BmpSpec rgb16;
    rgb16.width = 2;
    rgb16.height = 1;
    rgb16.bit_count = 16;
    rgb16.pixel_data = bmp_writer::pack_rows({0x7C00, 0x7FFF}, 2, 1, 16);

    BmpSpec top_down = rgb24_2x2();
    top_down.height = -2;
    top_down.pixel_data = bmp_writer::pack_rows({0x112233, 0x445566, 0x778899, 0xAABBCC}, 2, 2, 24, true);

    BmpSpec rle8;
    rle8.width = 4;
    rle8.height = 2;
    rle8.bit_count = 8;
    rle8.compression = 1;
    rle8.palette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
    rle8.pixel_data = bmp_writer::encode_rle8({1, 1, 1, 1, 2, 3, 2, 3}, 4, 2);

    const Row rows[] = {
        {"24-bit rows flip to top-down", rgb24_2x2(), 2, 2, kRgb24_2x2},
        {"top-down 24-bit stays upright", top_down, 2, 2, kRgb24_2x2},
        {"8-bit palette", pal8_3x2({0x000000, 0xFF0000, 0x00FF00, 0x0000FF}), 3, 2,
         {0xFF000000, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFF00FF00, 0xFFFF0000}},
        {"32-bit masks with alpha", masked32, 2, 1, {0x80102030, 0x00FFEEDD}},
        {"16-bit 5-5-5", rgb16, 2, 1, {0xFFF80000, 0xFFF8F8F8}},
        {"RLE8", rle8, 4, 2, {0xFFFF0000, 0xFFFF0000, 0xFFFF0000, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFF00FF00, 0xFF0000FF}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const fs::path input = write_bmp("in.bmp", row.spec);
        const fs::path output = dir_ / "out.png";
        const RunResult result = run({input.string(), output.string()});
        EXPECT_EQ(result.exit_code, 0) << "have exit " << result.exit_code << ", want 0; stderr: " << result.err;
        EXPECT_EQ(result.err, "") << "have stderr \"" << result.err << "\", want nothing";
        expect_picture(output, row.width, row.height, row.want);
        fs::remove(output);
    }
}

TEST_F(Bmp2Png, RefusesWithOneLineNamingTheFile) {
    struct Row {
        const char* name;
        std::string file;        // relative to the test folder unless absolute
        std::string want_reason; // a piece the reason must hold; empty: any non-empty reason
    };
    BmpSpec bad_signature = rgb24_2x2();
    bad_signature.signature = 0x424D;  // "MB"
    write_bmp("mb.bmp", bad_signature);
    BmpSpec no_size_image = rgb24_2x2();
    no_size_image.size_image = 0;
    write_bmp("size0.bmp", no_size_image);
    bmp_writer::write_file((dir_ / "empty.bmp").string(), {});
    fs::create_directory(dir_ / "folder.bmp");

    const Row rows[] = {
        {"bad signature", "mb.bmp", ""},
        {"biSizeImage 0", "size0.bmp", "biSizeImage"},
        {"empty file", "empty.bmp", ""},
        {"missing file", "absent.bmp", "no such file"},
        {"directory", "folder.bmp", "directory"},
        {"device", "/dev/null", "not a regular file"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string input = row.file[0] == '/' ? row.file : (dir_ / row.file).string();
        const fs::path output = dir_ / "out.png";
        const RunResult result = run({input, output.string()});
        EXPECT_EQ(result.exit_code, 1) << "have exit " << result.exit_code << ", want 1";
        const std::vector<std::string> lines = lines_of(result.err);
        ASSERT_EQ(lines.size(), 1u) << "have stderr \"" << result.err << "\", want one line";
        const std::string prefix = input + ": refused: ";
        EXPECT_TRUE(starts_with(lines[0], prefix)) << "have \"" << lines[0] << "\", want it to start \"" << prefix << "\"";
        EXPECT_GT(lines[0].size(), prefix.size()) << "have no reason, want one";
        EXPECT_NE(lines[0].find(row.want_reason), std::string::npos)
            << "have \"" << lines[0] << "\", want a reason holding \"" << row.want_reason << "\"";
        EXPECT_FALSE(fs::exists(output)) << "have " << output << ", want no PNG for a refused file";
    }
}

TEST_F(Bmp2Png, UsageErrorsExitTwoWithAUsageLine) {
    const fs::path good = write_bmp("good.bmp", rgb24_2x2());
    const std::vector<std::vector<std::string>> rows = {
        {},
        {good.string()},
        {good.string(), "a.png", "b.png"},
        {"--bogus", good.string(), "a.png"},
        {"--out-dir"},
        {"--out-dir", dir_.string()},
        {"--info"},
        {"--info", "--out-dir", dir_.string(), good.string()},
    };
    for (const auto& args : rows) {
        std::string joined;
        for (const std::string& arg : args) joined += "[" + arg + "] ";
        SCOPED_TRACE(joined);
        const RunResult result = run(args);
        EXPECT_EQ(result.exit_code, 2) << "have exit " << result.exit_code << ", want 2";
        EXPECT_NE(result.err.find("usage: bmp2png"), std::string::npos)
            << "have stderr \"" << result.err << "\", want a usage line";
        EXPECT_EQ(result.out, "");
    }
    EXPECT_EQ(names_in(dir_), std::vector<std::string>{"good.bmp"}) << "a usage error writes nothing";
}

TEST_F(Bmp2Png, OutDirConvertsInOrderAndReportsTheRefusedFile) {
    // The first file fills four palette entries, the last reads only two: its
    // index 3 must not show the first file's blue.
    const fs::path first = write_bmp("first.bmp", pal8_3x2({0x000000, 0xFF0000, 0x00FF00, 0x0000FF}));
    BmpSpec refused = rgb24_2x2();
    refused.size_image = 0;
    const fs::path middle = write_bmp("middle.bmp", refused);
    const fs::path last = write_bmp("last.bmp", pal8_3x2({0x101010, 0x202020}));
    const fs::path out = dir_ / "out";

    const RunResult result = run({"--out-dir", out.string(), first.string(), middle.string(), last.string()});
    EXPECT_EQ(result.exit_code, 1) << "have exit " << result.exit_code << ", want 1";
    const std::vector<std::string> lines = lines_of(result.err);
    ASSERT_EQ(lines.size(), 1u) << "have stderr \"" << result.err << "\", want one line";
    EXPECT_TRUE(starts_with(lines[0], middle.string() + ": refused: ")) << "have \"" << lines[0] << "\"";

    EXPECT_EQ(names_in(out), (std::vector<std::string>{"first.png", "last.png"}));
    expect_picture(out / "first.png", 3, 2, {0xFF000000, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFF00FF00, 0xFFFF0000});
    expect_picture(out / "last.png", 3, 2, {0xFF101010, 0xFF202020, 0x00000000, 0x00000000, 0x00000000, 0xFF202020});
}

TEST_F(Bmp2Png, HandlesNamesWithSpacesAndNonAscii) {
    const fs::path input = write_bmp("Bild mit Ümlaut ✓.bmp", rgb24_2x2());
    const fs::path output = dir_ / "Ergebnis Ü.png";
    RunResult result = run({input.string(), output.string()});
    EXPECT_EQ(result.exit_code, 0) << "stderr: " << result.err;
    expect_picture(output, 2, 2, kRgb24_2x2);

    result = run({"--out-dir", (dir_ / "out dir").string(), input.string()});
    EXPECT_EQ(result.exit_code, 0) << "stderr: " << result.err;
    expect_picture(dir_ / "out dir" / "Bild mit Ümlaut ✓.png", 2, 2, kRgb24_2x2);
}

TEST_F(Bmp2Png, WriteFailureIsOneLineAndLeavesNoFile) {
    const fs::path input = write_bmp("good.bmp", rgb24_2x2());
    fs::create_directory(dir_ / "taken.png");
    struct Row {
        const char* name;
        fs::path output;
    };
    const Row rows[] = {
        {"folder missing", dir_ / "no such folder" / "out.png"},
        {"output is a directory", dir_ / "taken.png"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const RunResult result = run({input.string(), row.output.string()});
        EXPECT_NE(result.exit_code, 0) << "have exit 0, want a failure";
        const std::vector<std::string> lines = lines_of(result.err);
        ASSERT_EQ(lines.size(), 1u) << "have stderr \"" << result.err << "\", want one line";
        EXPECT_TRUE(starts_with(lines[0], row.output.string() + ": ")) << "have \"" << lines[0] << "\"";
        EXPECT_EQ(names_in(dir_), (std::vector<std::string>{"good.bmp", "taken.png"}))
            << "a failed write leaves no half-written or temporary file";
        EXPECT_TRUE(fs::is_directory(dir_ / "taken.png"));
    }
}

TEST_F(Bmp2Png, ReplacesAnExistingPng) {
    const fs::path input = write_bmp("good.bmp", rgb24_2x2());
    const fs::path output = dir_ / "out.png";
    std::ofstream(output) << "not a png";
    const RunResult result = run({input.string(), output.string()});
    EXPECT_EQ(result.exit_code, 0) << "stderr: " << result.err;
    expect_picture(output, 2, 2, kRgb24_2x2);
}

TEST_F(Bmp2Png, InfoDescribesEachFileOnOneLine) {
    const fs::path pal8 = write_bmp("pal8.bmp", pal8_3x2({0x000000, 0xFF0000, 0x00FF00, 0x0000FF}));

    BmpSpec masked = rgb24_2x2();
    masked.bit_count = 32;
    masked.compression = kBiBitfields;
    masked.height = -2;
    masked.masks = {0x00FF0000, 0x0000FF00, 0x000000FF};
    masked.pixel_data = bmp_writer::pack_rows({1, 2, 3, 4}, 2, 2, 32, true);
    const fs::path masked_path = write_bmp("masked.bmp", masked);

    BmpSpec alpha16;
    alpha16.width = 1;
    alpha16.height = 1;
    alpha16.bit_count = 16;
    alpha16.compression = kBiBitfields;
    alpha16.info_size = 56;
    alpha16.masks = {0x0F00, 0x00F0, 0x000F, 0xF000};
    alpha16.pixel_data = {0xFF, 0xFF, 0, 0};
    const fs::path alpha16_path = write_bmp("alpha16.bmp", alpha16);

    BmpSpec refused = rgb24_2x2();
    refused.size_image = 0;
    const fs::path refused_path = write_bmp("refused.bmp", refused);

    BmpSpec core = pal8_3x2({0x000000, 0xFFFFFF});
    core.info_size = bmp_writer::kCoreHeaderSize;
    const fs::path core_path = write_bmp("core.bmp", core);

    const RunResult result = run({"--info", pal8.string(), masked_path.string(), refused_path.string(),
                                  alpha16_path.string(), (dir_ / "absent.bmp").string(), core_path.string()});
    EXPECT_EQ(result.exit_code, 1) << "have exit " << result.exit_code << ", want 1 (three files refused)";
    const std::vector<std::string> lines = lines_of(result.out);
    ASSERT_EQ(lines.size(), 6u) << "have stdout \"" << result.out << "\", want six lines";
    EXPECT_EQ(lines[0], pal8.string() + ": FORMAT_PAL8, 3 x 2, bottom-up, 8 bpp, compression 0 (BI_RGB), "
                                        "palette 4, no masks, decoded");
    EXPECT_EQ(lines[1], masked_path.string() + ": FORMAT_MASKED32, 2 x 2, top-down, 32 bpp, compression 3 "
                                               "(BI_BITFIELDS), no palette, masks R 00FF0000 G 0000FF00 "
                                               "B 000000FF A 00000000, decoded");
    const std::string refused_head = refused_path.string() + ": FORMAT_RGB24, 2 x 2, bottom-up, 24 bpp, "
                                                             "compression 0 (BI_RGB), no palette, no masks, "
                                                             "refused: ";
    EXPECT_TRUE(starts_with(lines[2], refused_head)) << "have \"" << lines[2] << "\", want \"" << refused_head << "...\"";
    EXPECT_NE(lines[2].find("biSizeImage"), std::string::npos) << "have \"" << lines[2] << "\"";
    EXPECT_EQ(lines[3], alpha16_path.string() + ": FORMAT_MASKED16, 1 x 1, bottom-up, 16 bpp, compression 3 "
                                                "(BI_BITFIELDS), no palette, masks R 00000F00 G 000000F0 "
                                                "B 0000000F A 0000F000, decoded");
    EXPECT_EQ(lines[4], (dir_ / "absent.bmp").string() + ": refused: no such file");
    const std::string core_head = core_path.string() + ": FORMAT_UNSUPPORTED, 3 x 2, bottom-up, 8 bpp, "
                                                       "OS/2 core header, no palette, no masks, refused: ";
    EXPECT_TRUE(starts_with(lines[5], core_head)) << "have \"" << lines[5] << "\", want \"" << core_head << "...\"";
    EXPECT_EQ(result.err, "");
}

}  // namespace
