// Decode speed: decode_bitmap against the peers' file loaders, per layout,
// from a file in the page cache to a decoded buffer, and against the limit:
// reading the file into memory plus one memcpy of the output.
//
//   bench_decode --inputs DIR [--rounds N] [--csv PATH]
//
// Each peer's output is checked against ours once, outside the timing; a
// peer whose colours differ (beyond the low bits that channel widening may
// set differently) is reported but not counted as the best peer.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <SDL2/SDL.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/harness.h"
#include "bench/layouts.h"
#include "decoder/bitmap_decoder.h"

#ifdef BENCH_HAVE_STB
#include <stb_image.h>
#endif
#ifdef BENCH_HAVE_GDK_PIXBUF
#include <gdk-pixbuf/gdk-pixbuf.h>
#endif
#ifdef BENCH_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#endif

namespace {

// A loader under test. load() is the timed part; rgb_at() reads the result
// for the check; release() frees it, untimed.
struct Loader {
    virtual ~Loader() = default;
    virtual const char* name() const = 0;
    virtual bool is_peer() const { return true; }
    virtual bool load(const char* path) = 0;
    virtual int width() const = 0;
    virtual int height() const = 0;
    virtual uint32_t rgb_at(int x, int y) const = 0;  // 0xRRGGBB
    virtual void release() = 0;
};

struct OurDecoder final : Loader {
    const char* name() const override { return "decode_bitmap"; }
    bool is_peer() const override { return false; }
    bool load(const char* path) override {
        decode_bitmap(path);
        return decoder_state.loaded != 0;
    }
    int width() const override { return static_cast<int>(decoder_state.width); }
    int height() const override { return static_cast<int>(decoder_state.height); }
    uint32_t rgb_at(int x, int y) const override {
        return decoded_pixels()[static_cast<size_t>(y) * decoder_state.width + x] & 0xFFFFFF;
    }
    void release() override { release_decoded_pixels(); }
};

struct SdlLoader final : Loader {
    SDL_Surface* surface = nullptr;
    const char* name() const override { return "SDL2"; }
    bool load(const char* path) override {
        SDL_Surface* loaded = SDL_LoadBMP(path);
        if (loaded == nullptr) return false;
        surface = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_ARGB8888, 0);
        SDL_FreeSurface(loaded);
        return surface != nullptr;
    }
    int width() const override { return surface->w; }
    int height() const override { return surface->h; }
    uint32_t rgb_at(int x, int y) const override {
        const auto* row = static_cast<const uint8_t*>(surface->pixels) + y * surface->pitch;
        return reinterpret_cast<const uint32_t*>(row)[x] & 0xFFFFFF;
    }
    void release() override {
        SDL_FreeSurface(surface);
        surface = nullptr;
    }
};

#ifdef BENCH_HAVE_STB
struct StbLoader final : Loader {
    unsigned char* pixels = nullptr;
    int w = 0, h = 0;
    const char* name() const override { return "stb_image"; }
    bool load(const char* path) override {
        int channels = 0;
        pixels = stbi_load(path, &w, &h, &channels, 4);
        return pixels != nullptr;
    }
    int width() const override { return w; }
    int height() const override { return h; }
    uint32_t rgb_at(int x, int y) const override {
        const unsigned char* p = pixels + (static_cast<size_t>(y) * w + x) * 4;
        return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
    }
    void release() override {
        stbi_image_free(pixels);
        pixels = nullptr;
    }
};
#endif

#ifdef BENCH_HAVE_GDK_PIXBUF
struct PixbufLoader final : Loader {
    GdkPixbuf* pixbuf = nullptr;
    const char* name() const override { return "gdk-pixbuf"; }
    bool load(const char* path) override {
        GError* error = nullptr;
        pixbuf = gdk_pixbuf_new_from_file(path, &error);
        if (error != nullptr) g_error_free(error);
        return pixbuf != nullptr;
    }
    int width() const override { return gdk_pixbuf_get_width(pixbuf); }
    int height() const override { return gdk_pixbuf_get_height(pixbuf); }
    uint32_t rgb_at(int x, int y) const override {
        const guchar* p = gdk_pixbuf_read_pixels(pixbuf) + y * gdk_pixbuf_get_rowstride(pixbuf) +
                          x * gdk_pixbuf_get_n_channels(pixbuf);
        return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
    }
    void release() override {
        g_object_unref(pixbuf);
        pixbuf = nullptr;
    }
};
#endif

#ifdef BENCH_HAVE_OPENCV
struct OpenCvLoader final : Loader {
    cv::Mat image;
    const char* name() const override { return "OpenCV"; }
    bool load(const char* path) override {
        image = cv::imread(path, cv::IMREAD_UNCHANGED);
        return !image.empty();
    }
    int width() const override { return image.cols; }
    int height() const override { return image.rows; }
    uint32_t rgb_at(int x, int y) const override {
        const int channels = image.channels();
        const uchar* p = image.ptr<uchar>(y) + x * channels;
        if (channels < 3) return uint32_t{p[0]} * 0x010101u;
        return (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];  // BGR(A)
    }
    void release() override { image.release(); }
};
#endif

// The limit: the file read into memory, and one memcpy of an output-sized block.
struct Limit {
    std::vector<uint8_t> file_bytes;
    std::vector<uint8_t> output_source;
    uint8_t* output = nullptr;
    size_t output_bytes = 0;

    bool run(const char* path) {
        const int fd = open(path, O_RDONLY);
        if (fd < 0) return false;
        struct stat info {};
        fstat(fd, &info);
        file_bytes.resize(static_cast<size_t>(info.st_size));
        size_t done = 0;
        while (done < file_bytes.size()) {
            const ssize_t got = read(fd, file_bytes.data() + done, file_bytes.size() - done);
            if (got <= 0) break;
            done += static_cast<size_t>(got);
        }
        close(fd);
        output = static_cast<uint8_t*>(std::malloc(output_bytes));
        if (output == nullptr) return false;
        std::memcpy(output, output_source.data(), output_bytes);
        return done == file_bytes.size();
    }
    void release() {
        std::free(output);
        output = nullptr;
    }
};

// Share of pixels whose colour differs from ours by more than the widening
// of narrow channels explains (up to 15 for 4-bit fields), or -1 when the
// sizes differ.
double mismatch_share(const Loader& peer, const std::vector<uint32_t>& ours, int w, int h) {
    if (peer.width() != w || peer.height() != h) return -1;
    size_t bad = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const uint32_t a = peer.rgb_at(x, y);
            const uint32_t b = ours[static_cast<size_t>(y) * w + x];
            for (int shift = 0; shift < 24; shift += 8) {
                const int da = static_cast<int>((a >> shift) & 0xFF);
                const int db = static_cast<int>((b >> shift) & 0xFF);
                if (std::abs(da - db) > 16) {
                    ++bad;
                    break;
                }
            }
        }
    }
    return static_cast<double>(bad) / (static_cast<double>(w) * h);
}

}  // namespace

int main(int argc, char** argv) {
    bench::CommonOptions options;
    if (!bench::parse_common_options(argc, argv, &options)) return 2;
    if (options.inputs_dir.empty()) {
        std::fprintf(stderr, "bench_decode: --inputs DIR is required\n");
        return 2;
    }
    bench::keep_freed_memory();
#ifdef BENCH_HAVE_OPENCV
    cv::setNumThreads(1);
#endif

    std::vector<std::unique_ptr<Loader>> loaders;
    loaders.push_back(std::make_unique<OurDecoder>());
    loaders.push_back(std::make_unique<SdlLoader>());
#ifdef BENCH_HAVE_STB
    loaders.push_back(std::make_unique<StbLoader>());
#endif
#ifdef BENCH_HAVE_GDK_PIXBUF
    loaders.push_back(std::make_unique<PixbufLoader>());
#endif
#ifdef BENCH_HAVE_OPENCV
    loaders.push_back(std::make_unique<OpenCvLoader>());
#endif

    std::vector<bench::ResultRow> all_rows;
    for (const bench::InputLayout& layout : bench::kInputLayouts) {
        const std::string path = options.inputs_dir + "/" + layout.file_name;
        const char* file = path.c_str();

        // Our own result is the reference for the peers' check and the
        // source of the limit's memcpy.
        OurDecoder& ours = static_cast<OurDecoder&>(*loaders[0]);
        if (!ours.load(file)) {
            std::fprintf(stderr, "bench_decode: %s: refused (%s)\n", file, decoder_state.refusal);
            continue;
        }
        const int w = ours.width();
        const int h = ours.height();
        std::vector<uint32_t> reference(static_cast<size_t>(w) * h);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) reference[static_cast<size_t>(y) * w + x] = ours.rgb_at(x, y);
        }
        Limit limit;
        limit.output_bytes = static_cast<size_t>(w) * h * 4;
        limit.output_source.assign(reinterpret_cast<const uint8_t*>(decoded_pixels()),
                                   reinterpret_cast<const uint8_t*>(decoded_pixels()) +
                                       limit.output_bytes);
        ours.release();

        std::vector<std::string> notes(loaders.size());
        std::vector<bool> counts_as_peer(loaders.size(), false);
        for (size_t i = 1; i < loaders.size(); ++i) {
            Loader& peer = *loaders[i];
            if (!peer.load(file)) {
                notes[i] = "cannot load this layout";
                continue;
            }
            const double share = mismatch_share(peer, reference, w, h);
            peer.release();
            if (share < 0) {
                notes[i] = "wrong size; not counted";
            } else if (share > 0.01) {
                char text[64];
                std::snprintf(text, sizeof text, "%.0f%% of pixels differ; not counted",
                              share * 100);
                notes[i] = text;
            } else {
                counts_as_peer[i] = true;
            }
        }

        std::vector<bench::Contender> contenders;
        for (auto& loader : loaders) {
            Loader* l = loader.get();
            contenders.push_back({l->name(), [l, file] { return l->load(file); },
                                  [l] { l->release(); }});
        }
        contenders.push_back({"limit", [&limit, file] { return limit.run(file); },
                              [&limit] { limit.release(); }});
        bench::RunOptions run_options;
        run_options.rounds = options.rounds;
        run_options.cold = true;
        const std::vector<bench::Timing> timings = bench::run_interleaved(contenders, run_options);

        const double megapixels = static_cast<double>(w) * h / 1e6;
        std::vector<bench::ResultRow> rows;
        for (size_t i = 0; i < contenders.size(); ++i) {
            rows.push_back(bench::row_from_timing("decode", layout.case_name, contenders[i].name,
                                                  timings[i], megapixels));
            if (i < notes.size() && !notes[i].empty()) rows.back().note = notes[i];
        }
        double best_peer = -1;
        std::string best_name;
        for (size_t i = 1; i < loaders.size(); ++i) {
            if (counts_as_peer[i] && rows[i].megapixels_per_s > best_peer) {
                best_peer = rows[i].megapixels_per_s;
                best_name = rows[i].contender;
            }
        }
        const double limit_speed = rows.back().megapixels_per_s;
        for (bench::ResultRow& row : rows) {
            if (row.megapixels_per_s < 0) continue;
            if (best_peer > 0) row.ratio_best_peer = row.megapixels_per_s / best_peer;
            if (limit_speed > 0) row.ratio_limit = row.megapixels_per_s / limit_speed;
        }
        // Target: 1.5x the best peer, or 0.8 of the limit where 1.5x the best
        // peer would pass the limit.
        bench::ResultRow& our_row = rows[0];
        if (our_row.megapixels_per_s > 0 && best_peer > 0 && limit_speed > 0) {
            const bool capped = 1.5 * best_peer > limit_speed;
            const double target = capped ? 0.8 * limit_speed : 1.5 * best_peer;
            // The fastest round of each, beside the medians: on a loaded
            // machine it shows what the code costs without interference.
            double best_peer_min_ms = -1;
            for (size_t i = 1; i < loaders.size(); ++i) {
                if (counts_as_peer[i] && rows[i].min_ms > 0 &&
                    (best_peer_min_ms < 0 || rows[i].min_ms < best_peer_min_ms)) {
                    best_peer_min_ms = rows[i].min_ms;
                }
            }
            char text[200];
            std::snprintf(text, sizeof text,
                          "target %s (%.0f Mpix/s): %s; best peer %s; on fastest rounds "
                          "x_peer %.2f x_limit %.2f",
                          capped ? "0.8x limit" : "1.5x best peer", target,
                          our_row.megapixels_per_s >= target ? "met" : "NOT met",
                          best_name.c_str(), best_peer_min_ms / our_row.min_ms,
                          rows.back().min_ms / our_row.min_ms);
            our_row.note = text;
        } else if (our_row.megapixels_per_s > 0 && best_peer < 0) {
            our_row.note = "no peer decodes this layout correctly";
        }
        bench::print_rows(stdout, rows);
        std::printf("\n");
        all_rows.insert(all_rows.end(), rows.begin(), rows.end());
    }
    if (!options.csv_path.empty() && !bench::append_csv(options.csv_path, all_rows)) {
        std::fprintf(stderr, "bench_decode: cannot write %s\n", options.csv_path.c_str());
        return 1;
    }
    return 0;
}
