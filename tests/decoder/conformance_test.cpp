// The bmpsuite corpus beside the project, driven by its manifest: every file
// is decoded by the one decoder state, in manifest order, and compared with
// its reference PNGs (read with libpng). Prints one table row per file.
#include <gtest/gtest.h>
#include <png.h>

#include <bit>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "decoder_test_support.h"

namespace {

using namespace decoder_test;
namespace fs = std::filesystem;

const fs::path kSuite = fs::path(BMP_SHARED_DIR) / "bmpsuite";

// ---- references -----------------------------------------------------------

struct Picture {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<ArgbPixel> pixels;
};

// Any PNG as 8-bit ARGB with straight alpha; false when it cannot be read.
bool read_png(const fs::path& path, Picture& picture) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_read_info(png, info);
    png_set_expand(png);  // palettes, low-bit greys and tRNS become RGB(A)
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_set_bgr(png);  // B, G, R, A bytes: one little-endian 0xAARRGGBB
    png_read_update_info(png, info);
    picture.width = png_get_image_width(png, info);
    picture.height = png_get_image_height(png, info);
    picture.pixels.assign(size_t{picture.width} * picture.height, 0);
    std::vector<png_bytep> rows(picture.height);
    for (uint32_t y = 0; y < picture.height; ++y) {
        rows[y] = reinterpret_cast<png_bytep>(picture.pixels.data() + size_t{y} * picture.width);
    }
    png_read_image(png, rows.data());
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    return true;
}

// ---- how close a decode must come -----------------------------------------
// Colour fields widen by a plain left shift, so a field of w < 8 bits may end
// up to 2^(8 - w) - 1 below a reference that spreads it over 0..255; wider
// fields keep their top bits, 1 off a rounding reference at most. The
// widths come from the file's own header bytes, not from the decoder.

struct Tolerance {
    int channel[4] = {0, 0, 0, 0};  // red, green, blue, alpha
};

uint32_t le32(const std::vector<uint8_t>& bytes, size_t offset) {
    if (offset + 4 > bytes.size()) return 0;
    return bytes[offset] | bytes[offset + 1] << 8 | bytes[offset + 2] << 16 |
           uint32_t{bytes[offset + 3]} << 24;
}

int field_tolerance(int width) {
    if (width == 0 || width == 8) return 0;
    return width < 8 ? (1 << (8 - width)) - 1 : 1;
}

Tolerance tolerance_of(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    Tolerance tolerance;
    const uint32_t info_size = le32(bytes, 14);
    const uint32_t bit_count = le32(bytes, 28) & 0xFFFF;
    const uint32_t compression = le32(bytes, 30);
    if (bit_count == 16 && compression == BI_RGB) {
        for (int c = 0; c < 3; ++c) tolerance.channel[c] = field_tolerance(5);
    } else if ((bit_count == 16 || bit_count == 32) && compression == BI_BITFIELDS) {
        const int masks = info_size >= 56 ? 4 : 3;
        for (int c = 0; c < masks; ++c) {
            const int width = std::popcount(le32(bytes, 54 + 4 * size_t(c)));
            // Alpha is spread by its ramp: only rounding can differ.
            tolerance.channel[c] = c == 3 ? (width == 8 ? 0 : 1) : field_tolerance(width);
        }
    }
    return tolerance;
}

// "" when the decoded picture matches; otherwise the first difference.
std::string compare(const Picture& want, const Tolerance& tolerance) {
    const DecoderState& state = decoder_state;
    if (state.width != want.width || state.height != want.height) {
        std::ostringstream text;
        text << "have " << state.width << " x " << state.height << ", want " << want.width << " x "
             << want.height;
        return text.str();
    }
    const ArgbPixel* have = decoded_pixels();
    for (size_t i = 0; i < want.pixels.size(); ++i) {
        const ArgbPixel h = have[i];
        const ArgbPixel w = want.pixels[i];
        // A transparent reference pixel has no colour worth comparing.
        const int first = (w >> 24) == 0 ? 3 : 0;
        for (int c = first; c < 4; ++c) {
            const int shift = c == 3 ? 24 : 16 - 8 * c;
            const int difference = std::abs(int((h >> shift) & 0xFF) - int((w >> shift) & 0xFF));
            if (difference > tolerance.channel[c]) {
                std::ostringstream text;
                text << "at (" << i % want.width << ", " << i / want.width << ") have " << hex(h)
                     << ", want " << hex(w);
                return text.str();
            }
        }
    }
    return "";
}

// ---- the manifest ---------------------------------------------------------

struct Entry {
    std::string file;                     // relative to the suite: g/pal8.bmp
    std::vector<std::string> references;  // file names in reference/
};

std::vector<Entry> read_manifest() {
    std::vector<Entry> entries;
    std::ifstream in(kSuite / "manifest.tsv");
    std::string line;
    std::getline(in, line);  // column names
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        Entry entry;
        const size_t tab = line.find('\t');
        entry.file = line.substr(0, tab);
        std::istringstream names(tab == std::string::npos ? "" : line.substr(tab + 1));
        for (std::string name; names >> name;) entry.references.push_back(name);
        entries.push_back(entry);
    }
    return entries;
}

// ---- what each file should give -------------------------------------------
// g/ files decode to a reference unless listed here. Every q/ and b/ file is
// listed with the outcome our rules give it; a decoded one must also match a
// reference when it has one. A q/ or b/ file missing from the list only has
// to be refused with a reason or decoded to its reference.

enum class Outcome { Decoded, Refused };

struct Expectation {
    Outcome outcome;
    const char* reason;  // part of the refusal text
};

constexpr Expectation kDecoded = {Outcome::Decoded, ""};
Expectation refused(const char* reason) { return {Outcome::Refused, reason}; }

const std::map<std::string, Expectation> kExpected = {
    {"g/pal8-0.bmp", refused("biSizeImage 0 does not match")},
    {"g/pal8os2.bmp", refused("OS/2")},

    {"q/pal1p1.bmp", kDecoded},  // one palette entry: index 1 is transparent
    {"q/pal2.bmp", refused("biBitCount 2 with")},
    {"q/pal2color.bmp", refused("biBitCount 2 with")},
    {"q/pal4rletrns.bmp", kDecoded},  // skipped pixels stay transparent
    {"q/pal4rlecut.bmp", kDecoded},
    {"q/pal8rletrns.bmp", kDecoded},
    {"q/pal8rlecut.bmp", kDecoded},
    {"q/pal8offs.bmp", kDecoded},
    {"q/pal8oversizepal.bmp", kDecoded},  // count limited to 256
    {"q/pal8os2-sz.bmp", refused("OS/2")},
    {"q/pal8os2-hs.bmp", refused("OS/2")},
    {"q/pal8os2sp.bmp", refused("OS/2")},
    {"q/pal8os2v2.bmp", kDecoded},  // its first 40 bytes are the Windows header
    {"q/pal8os2v2-sz.bmp", kDecoded},
    {"q/pal8os2v2-40sz.bmp", kDecoded},
    // A 16-byte header: the palette overlaps where biSizeImage is read.
    {"q/pal8os2v2-16.bmp", refused("biSizeImage")},
    {"q/rgb24rle24.bmp", refused("24-bit data with compression 4")},
    {"q/pal1huffmsb.bmp", refused("1-bit data with compression 3")},
    {"q/rgb16faketrns.bmp", kDecoded},
    {"q/rgb16-231.bmp", kDecoded},
    {"q/rgb16-3103.bmp", kDecoded},
    {"q/rgba16-4444.bmp", kDecoded},
    {"q/rgba16-5551.bmp", kDecoded},
    {"q/rgba16-1924.bmp", kDecoded},
    {"q/rgb24largepal.bmp", kDecoded},
    // A colour profile after the pixel data breaks the exact biSizeImage rule.
    {"q/rgb24prof.bmp", refused("biSizeImage 24576 does not match")},
    {"q/rgb24prof2.bmp", refused("biSizeImage 24576 does not match")},
    {"q/rgb24lprof.bmp", refused("biSizeImage 24576 does not match")},
    {"q/rgb24jpeg.bmp", refused("biCompression 4")},
    {"q/rgb24png.bmp", refused("biCompression 5")},
    {"q/rgb32h52.bmp", kDecoded},
    {"q/rgb32-xbgr.bmp", kDecoded},
    {"q/rgb32fakealpha.bmp", kDecoded},
    {"q/rgb32-111110.bmp", kDecoded},
    {"q/rgb32-7187.bmp", kDecoded},
    {"q/rgba32-1.bmp", kDecoded},
    {"q/rgba32-2.bmp", kDecoded},
    {"q/rgba32-1010102.bmp", kDecoded},
    {"q/rgba32-81284.bmp", kDecoded},
    {"q/rgba32-61754.bmp", kDecoded},
    {"q/rgba32abf.bmp", refused("biBitCount 32 with biCompression 6")},
    {"q/rgba32h56.bmp", kDecoded},
    {"q/rgba64.bmp", refused("biBitCount 64")},

    {"b/badbitcount.bmp", refused("biBitCount 30000")},
    {"b/badbitssize.bmp", refused("biSizeImage")},
    // Fields the reader does not look at: densities, bfSize, biSize, planes.
    {"b/baddens1.bmp", kDecoded},
    {"b/baddens2.bmp", kDecoded},
    {"b/badfilesize.bmp", kDecoded},
    {"b/badheadersize.bmp", kDecoded},
    {"b/badplanes.bmp", kDecoded},
    {"b/badpalettesize.bmp", kDecoded},  // count limited to 256
    // Broken streams stay inside the picture and the data.
    {"b/badrle4.bmp", kDecoded},
    {"b/badrle4bis.bmp", kDecoded},
    {"b/badrle4ter.bmp", kDecoded},
    {"b/badrle.bmp", kDecoded},
    {"b/badrlebis.bmp", kDecoded},
    {"b/badrleter.bmp", kDecoded},
    {"b/badwidth.bmp", refused("exceeds the limit of 2^28")},
    {"b/pal8badindex.bmp", kDecoded},  // the index past the palette is transparent
    {"b/reallybig.bmp", refused("3000000 x 2000000 pixels exceeds the limit of 2^28")},
    {"b/rgb16-880.bmp", kDecoded},
    {"b/rletopdown.bmp", refused("top-down RLE")},
    {"b/shortfile.bmp", refused("does not match the 211 bytes")},
};

struct Result {
    std::string file;
    std::string outcome;
    std::string detail;
    double milliseconds;
};

void print_table(const std::vector<Result>& results) {
    std::printf("\n%-28s %-9s %8s  %s\n", "file", "outcome", "ms", "reason / comparison");
    for (const Result& result : results) {
        std::printf("%-28s %-9s %8.2f  %s\n", result.file.c_str(), result.outcome.c_str(),
                    result.milliseconds, result.detail.c_str());
    }
    std::fflush(stdout);
}

TEST(Bmpsuite, EveryFileGivesItsExpectedOutcome) {
    if (!fs::exists(kSuite / "manifest.tsv")) {
        GTEST_SKIP() << "no BMP corpus at " << kSuite << " (set BMP_SHARED_DIR)";
    }
    std::vector<Result> results;
    for (const Entry& entry : read_manifest()) {
        SCOPED_TRACE(entry.file);
        const fs::path path = kSuite / entry.file;
        const auto start = std::chrono::steady_clock::now();
        decode_bitmap(path.c_str());
        const double milliseconds =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        const bool decoded = decoder_state.loaded != 0;
        Result result{entry.file, decoded ? "decoded" : "refused", "", milliseconds};

        bool matched = false;
        if (decoded) {
            const Tolerance tolerance = tolerance_of(path);
            std::string mismatches;
            bool any_reference = false;
            for (const std::string& name : entry.references) {
                Picture want;
                if (!read_png(kSuite / "reference" / name, want)) continue;
                any_reference = true;
                const std::string difference = compare(want, tolerance);
                if (difference.empty()) {
                    matched = true;
                    result.detail = "matches " + name;
                    break;
                }
                mismatches += (mismatches.empty() ? "" : "; ") + name + ": " + difference;
            }
            if (entry.references.empty()) {
                matched = true;  // nothing to compare with
                result.detail = "no reference";
            } else if (!any_reference) {
                result.detail = "MISMATCH: no reference could be read";
            } else if (!matched) {
                result.detail = "MISMATCH " + mismatches;
            }
        } else {
            result.detail = decoder_state.refusal;
            EXPECT_STRNE(decoder_state.refusal, "") << "have a refusal without a reason";
        }
        results.push_back(result);

        const auto expected = kExpected.find(entry.file);
        const bool good = entry.file.rfind("g/", 0) == 0;
        if (expected == kExpected.end()) {
            EXPECT_TRUE(!good || decoded) << "have refused (" << decoder_state.refusal
                                          << "), want decoded";
        } else if (expected->second.outcome == Outcome::Refused) {
            EXPECT_FALSE(decoded) << "have decoded, want refused";
            EXPECT_NE(result.detail.find(expected->second.reason), std::string::npos)
                << "have reason \"" << result.detail << "\", want one containing \""
                << expected->second.reason << "\"";
        } else {
            EXPECT_TRUE(decoded) << "have refused (" << decoder_state.refusal << "), want decoded";
        }
        if (decoded) {
            EXPECT_TRUE(matched) << result.detail;
        }
    }
    print_table(results);
}

}  // namespace
