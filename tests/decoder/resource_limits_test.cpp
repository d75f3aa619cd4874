// Hostile headers against the decoder's resource bounds: memory is bounded by
// the picture a file yields (at most 2^28 pixels), and a file that claims more
// is refused before anything is allocated for it.
//
// Each case runs in a child process so its peak memory can be read apart from
// the test runner's; the figures are printed, only the memory bounds asserted.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "decoder/bitmap_decoder.h"
#include "tools/bmp_writer/bmp_writer.h"

namespace {

constexpr int64_t kMiB = 1024 * 1024;
// What a decode may use besides its picture: the raw pixel data of these small
// files, the row tables, allocator slack.
constexpr int64_t kOverheadBytes = 48 * kMiB;

// AddressSanitizer keeps one shadow byte for every eight bytes it watches.
#if defined(__SANITIZE_ADDRESS__)
constexpr int64_t kShadowShare = 8;
#else
constexpr int64_t kShadowShare = 0;
#endif

int64_t allowed_peak(int64_t picture_bytes) {
    return picture_bytes + kOverheadBytes + (kShadowShare != 0 ? picture_bytes / kShadowShare : 0);
}

int64_t status_field_kib(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line)) {
        if (line.rfind(prefix, 0) == 0) return std::atoll(line.c_str() + prefix.size());
    }
    return -1;
}

struct DecodeCost {
    bool loaded = false;
    int64_t peak_growth_bytes = -1;
    double seconds = 0;
    bool ran = false;
};

// Decodes the file in a child and reports whether it loaded, how far the
// child's peak resident size rose over its size before the decode, and the time.
DecodeCost decode_in_child(const std::string& path) {
    int pipe_fds[2];
    if (pipe(pipe_fds) != 0) return {};
    pid_t child = fork();
    if (child == 0) {
        close(pipe_fds[0]);
        // Reset the high-water mark to the current size, so the peak read
        // afterwards belongs to the decode alone.
        if (FILE* refs = std::fopen("/proc/self/clear_refs", "w")) {
            std::fputs("5", refs);
            std::fclose(refs);
        }
        const int64_t before = status_field_kib("VmRSS");
        const auto start = std::chrono::steady_clock::now();
        decode_bitmap(path.c_str());
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        DecodeCost cost;
        cost.loaded = decoder_state.loaded != 0;
        cost.peak_growth_bytes = (status_field_kib("VmHWM") - before) * 1024;
        cost.seconds = seconds;
        cost.ran = before >= 0;
        ssize_t written = write(pipe_fds[1], &cost, sizeof cost);
        _exit(written == static_cast<ssize_t>(sizeof cost) ? 0 : 1);
    }
    close(pipe_fds[1]);
    DecodeCost cost;
    if (child < 0 || read(pipe_fds[0], &cost, sizeof cost) != static_cast<ssize_t>(sizeof cost)) {
        cost = DecodeCost{};
    }
    close(pipe_fds[0]);
    int status = 0;
    if (child > 0) waitpid(child, &status, 0);
    return cost;
}

std::string write_temp(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = ::testing::TempDir() + "resource_" + name + ".bmp";
    EXPECT_TRUE(bmp_writer::write_file(path, bytes));
    return path;
}

bmp_writer::BmpSpec rle8_claiming(int32_t width, int32_t height) {
    bmp_writer::BmpSpec spec;
    spec.width = width;
    spec.height = height;
    spec.bit_count = 8;
    spec.compression = BI_RLE8;
    spec.palette = {0x112233, 0x445566};
    // One run of three pixels, then end of bitmap: the rest stays transparent.
    spec.pixel_data = {3, 1, 0, 1};
    return spec;
}

struct LimitCase {
    const char* name;
    std::vector<uint8_t> file;
    bool want_loaded;
    int64_t picture_bytes;  // what the picture itself needs; 0 when refused
};

}  // namespace

TEST(ResourceLimits, MemoryStaysWithinThePictureAndHugeClaimsAreRefusedUpFront) {
    std::vector<LimitCase> cases;
    cases.push_back({"rle8_60000x60000", bmp_writer::build_bmp(rle8_claiming(60000, 60000)), false, 0});
    cases.push_back({"rle8_65536x4097", bmp_writer::build_bmp(rle8_claiming(65536, 4097)), false, 0});

    // Uncompressed, a picture under the limit whose data is a few bytes long:
    // refused by the data-size check before the picture is allocated.
    bmp_writer::BmpSpec short_rgb;
    short_rgb.width = 16000;
    short_rgb.height = 16000;
    short_rgb.bit_count = 24;
    short_rgb.pixel_data.assign(96, 0x7F);
    cases.push_back({"rgb24_16000x16000_short", bmp_writer::build_bmp(short_rgb), false, 0});

    // One pixel wide and as tall as the pixel limit allows: the picture is
    // 1 GiB, its row tables would be 6 GiB. Refused before either exists.
    cases.push_back({"rle8_1x2^28", bmp_writer::build_bmp(rle8_claiming(1, 1 << 28)), false, 0});
    // Narrow but within the row-table allowance: decoded.
    cases.push_back({"rle8_1x2000000", bmp_writer::build_bmp(rle8_claiming(1, 2000000)), true,
                     2000000 * 4 + 2000000 * int64_t{kRowTableBytesPerRow}});

    // Data past the end of the file: bfOffBits far beyond it.
    bmp_writer::BmpSpec far_offset = short_rgb;
    far_offset.off_bits = 0xFFFFFF00u;
    cases.push_back({"rgb24_offset_past_end", bmp_writer::build_bmp(far_offset), false, 0});

    // A palette count far above 256 in a tiny file.
    bmp_writer::BmpSpec big_palette;
    big_palette.width = 4;
    big_palette.height = 1;
    big_palette.bit_count = 8;
    big_palette.palette = {0xFF0000};
    big_palette.clr_used = 65535;
    big_palette.pixel_data = {0, 0, 0, 0};
    cases.push_back({"pal8_count_65535", bmp_writer::build_bmp(big_palette), true, 16});

    // The largest picture accepted, from a four-byte stream: the decode may
    // take the picture's memory and no more.
    const int64_t limit_side = 16384;
    const bool limit_accepts = uint64_t(limit_side) * limit_side <= kMaxBitmapPixels;
    cases.push_back({"rle8_at_the_pixel_limit", bmp_writer::build_bmp(rle8_claiming(limit_side, limit_side)),
                     limit_accepts, limit_accepts ? limit_side * limit_side * 4 : 0});

    std::printf("%-26s %8s %10s %9s\n", "input", "file B", "peak MiB", "seconds");
    for (const LimitCase& row : cases) {
        SCOPED_TRACE(row.name);
        const std::string path = write_temp(row.name, row.file);
        const DecodeCost cost = decode_in_child(path);
        ASSERT_TRUE(cost.ran) << "the child process could not report";
        std::printf("%-26s %8zu %10.1f %9.3f\n", row.name, row.file.size(),
                    double(cost.peak_growth_bytes) / kMiB, cost.seconds);
        EXPECT_EQ(cost.loaded, row.want_loaded) << "have loaded " << cost.loaded;
        EXPECT_LE(cost.peak_growth_bytes, allowed_peak(row.picture_bytes))
            << "have a peak of " << cost.peak_growth_bytes / kMiB << " MiB, want at most "
            << allowed_peak(row.picture_bytes) / kMiB << " MiB";
        std::remove(path.c_str());
    }
}
