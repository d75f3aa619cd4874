// Raster speed on a 1920 x 1080 screen without a window: alpha and copy
// blits against SDL2's blitter, pixman and memcpy; one animation frame as the
// showcase draws it; the whole start-up scene.
//
//   bench_raster [--samples DIR] [--rounds N] [--csv PATH]
//
// With --samples (the folder of the showcase's ten sample files) the frame
// uses the real scene and the start-up scene is timed; without it the frame
// uses stand-in images of the samples' sizes and the start-up is skipped.
#include <unistd.h>

#include <SDL2/SDL.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/harness.h"
#include "platform/graphics.h"

#ifdef BENCH_HAVE_PIXMAN
#include <pixman.h>
#endif
#ifdef BENCH_HAVE_SHOWCASE
#include "showcase/showcase.h"
#endif

namespace {

constexpr int kScreenWidth = 1920;
constexpr int kScreenHeight = 1080;

enum class AlphaKind { kOpaque, kSpriteLike, kAllPartial };

// Sprite-like alpha: soft-edged discs in 256-pixel tiles, so a 256 x 256
// image is one disc: about 41% opaque, 15% partial at the rim, 44% clear.
uint32_t alpha_at(AlphaKind kind, int x, int y, uint32_t hash) {
    switch (kind) {
        case AlphaKind::kOpaque:
            return 255;
        case AlphaKind::kAllPartial:
            return 1 + hash % 254;
        case AlphaKind::kSpriteLike: {
            const int dx = (x & 255) - 128;
            const int dy = (y & 255) - 128;
            const int distance_sq = dx * dx + dy * dy;
            if (distance_sq <= 92 * 92) return 255;
            if (distance_sq >= 108 * 108) return 0;
            for (int r = 93; r < 108; ++r) {
                if (distance_sq <= r * r) return static_cast<uint32_t>((108 - r) * 255 / 16);
            }
            return 1;
        }
    }
    return 255;
}

ArgbPixel test_pixel(AlphaKind kind, int x, int y) {
    const uint32_t hash = bench::mix_bits(static_cast<uint32_t>(y * 7919 + x));
    return (alpha_at(kind, x, y, hash >> 8) << 24) | (hash & 0xFFFFFF);
}

Image make_test_image(int width, int height, AlphaKind kind) {
    Image image = create_image(width, height, 32);
    ImageInfo info{};
    if (query_image(image, &info) != 0) return kNullImage;
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<ArgbPixel*>(reinterpret_cast<uint8_t*>(info.pixels) +
                                                 y * info.pitch);
        for (int x = 0; x < width; ++x) row[x] = test_pixel(kind, x, y);
    }
    return image;
}

ArgbPixel board_colour(int x, int y) {
    return (((x >> 4) ^ (y >> 4)) & 1) != 0 ? 0xFF9B9B9Bu : 0xFF6E6E6Eu;
}

// The same pixels outside the facility, for the peers.
struct PixelBlock {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
};

PixelBlock block_of(Image image) {
    ImageInfo info{};
    query_image(image, &info);
    PixelBlock block;
    block.width = static_cast<int>(info.width);
    block.height = static_cast<int>(info.height);
    block.pixels.resize(static_cast<size_t>(block.width) * block.height);
    for (int y = 0; y < block.height; ++y) {
        std::memcpy(&block.pixels[static_cast<size_t>(y) * block.width],
                    reinterpret_cast<uint8_t*>(info.pixels) + y * info.pitch,
                    static_cast<size_t>(block.width) * 4);
    }
    return block;
}

PixelBlock board_block() {
    PixelBlock block;
    block.width = kScreenWidth;
    block.height = kScreenHeight;
    block.pixels.resize(static_cast<size_t>(kScreenWidth) * kScreenHeight);
    for (int y = 0; y < kScreenHeight; ++y) {
        for (int x = 0; x < kScreenWidth; ++x) {
            block.pixels[static_cast<size_t>(y) * kScreenWidth + x] = board_colour(x, y);
        }
    }
    return block;
}

SDL_Surface* sdl_surface_of(PixelBlock& block) {
    return SDL_CreateRGBSurfaceWithFormatFrom(block.pixels.data(), block.width, block.height, 32,
                                              block.width * 4, SDL_PIXELFORMAT_ARGB8888);
}

#ifdef BENCH_HAVE_PIXMAN
pixman_image_t* pixman_image_of(PixelBlock& block) {
    return pixman_image_create_bits(PIXMAN_a8r8g8b8, block.width, block.height,
                                    block.pixels.data(), block.width * 4);
}
#endif

struct BlitCase {
    const char* name;
    int width;
    int height;
    AlphaKind alpha;
    int calls_per_round;
};

// Fills each row's ratio to the fastest of the peer rows and to the limit row
// (limit_index -1: none).
void fill_ratios(std::vector<bench::ResultRow>& rows, const std::vector<size_t>& peer_indexes,
                 long limit_index) {
    double best = -1;
    for (size_t i : peer_indexes) best = std::max(best, rows[i].megapixels_per_s);
    const double limit = limit_index >= 0 ? rows[static_cast<size_t>(limit_index)].megapixels_per_s
                                          : -1;
    for (bench::ResultRow& row : rows) {
        if (row.megapixels_per_s < 0) continue;
        if (best > 0) row.ratio_best_peer = row.megapixels_per_s / best;
        if (limit > 0) row.ratio_limit = row.megapixels_per_s / limit;
    }
}

double speed_ratio(const bench::ResultRow& a, const bench::ResultRow& b) {
    if (a.megapixels_per_s <= 0 || b.megapixels_per_s <= 0) return -1;
    return a.megapixels_per_s / b.megapixels_per_s;
}

std::vector<bench::ResultRow> bench_alpha_blits(int rounds) {
    const BlitCase cases[] = {
        {"alpha_256_sprite", 256, 256, AlphaKind::kSpriteLike, 200},
        {"alpha_256_partial", 256, 256, AlphaKind::kAllPartial, 200},
        {"alpha_1080p_sprite", kScreenWidth, kScreenHeight, AlphaKind::kSpriteLike, 4},
        {"alpha_1080p_partial", kScreenWidth, kScreenHeight, AlphaKind::kAllPartial, 4},
    };
    std::vector<bench::ResultRow> all_rows;
    PixelBlock board = board_block();
    for (const BlitCase& blit : cases) {
        const Image image = make_test_image(blit.width, blit.height, blit.alpha);
        PixelBlock source = block_of(image);
        const int x = (kScreenWidth - blit.width) / 2;
        const int y = (kScreenHeight - blit.height) / 2;

        PixelBlock sdl_target = board;
        SDL_Surface* sdl_source = sdl_surface_of(source);
        SDL_Surface* sdl_screen = sdl_surface_of(sdl_target);
        SDL_SetSurfaceBlendMode(sdl_source, SDL_BLENDMODE_BLEND);

        std::vector<bench::Contender> contenders;
        contenders.push_back({"draw_image ALPHA",
                              [&] {
                                  draw_image(static_cast<float>(x), static_cast<float>(y), image,
                                             BLIT_ALPHA);
                                  return true;
                              },
                              nullptr});
        contenders.push_back({"SDL_BlitSurface",
                              [&] {
                                  SDL_Rect place{x, y, blit.width, blit.height};
                                  return SDL_BlitSurface(sdl_source, nullptr, sdl_screen, &place) ==
                                         0;
                              },
                              nullptr});
#ifdef BENCH_HAVE_PIXMAN
        PixelBlock pixman_target = board;
        pixman_image_t* pixman_source = pixman_image_of(source);
        pixman_image_t* pixman_screen = pixman_image_of(pixman_target);
        contenders.push_back({"pixman OVER",
                              [&] {
                                  pixman_image_composite32(PIXMAN_OP_OVER, pixman_source, nullptr,
                                                           pixman_screen, 0, 0, 0, 0, x, y,
                                                           blit.width, blit.height);
                                  return true;
                              },
                              nullptr});
#endif
        bench::RunOptions run_options;
        run_options.rounds = rounds;
        run_options.calls_per_round = blit.calls_per_round;
        const auto timings = bench::run_interleaved(contenders, run_options);
        const double megapixels = static_cast<double>(blit.width) * blit.height / 1e6;
        std::vector<bench::ResultRow> rows;
        std::vector<size_t> peers;
        for (size_t i = 0; i < contenders.size(); ++i) {
            rows.push_back(bench::row_from_timing("blit", blit.name, contenders[i].name,
                                                  timings[i], megapixels));
            if (i > 0) peers.push_back(i);
        }
        fill_ratios(rows, peers, -1);
        // The targets are set for partial alpha; sprite-like alpha lets
        // pixman copy its opaque pixels, which the exact rule may not.
        const bool targeted = blit.alpha == AlphaKind::kAllPartial;
        auto verdict = [targeted](double ratio, double target) {
            if (!targeted) return std::string();
            return std::string(" (target ") + bench::format_ratio(target) + ": " +
                   (ratio >= target ? "met" : "NOT met") + ")";
        };
        const double versus_sdl = speed_ratio(rows[0], rows[1]);
        std::string note = "x SDL " + bench::format_ratio(versus_sdl) + verdict(versus_sdl, 2);
#ifdef BENCH_HAVE_PIXMAN
        const double versus_pixman = speed_ratio(rows[0], rows[2]);
        note += ", x pixman " + bench::format_ratio(versus_pixman) + verdict(versus_pixman, 1);
        pixman_image_unref(pixman_source);
        pixman_image_unref(pixman_screen);
#endif
        rows[0].note = note;
        SDL_FreeSurface(sdl_source);
        SDL_FreeSurface(sdl_screen);
        bench::print_rows(stdout, rows);
        std::printf("\n");
        all_rows.insert(all_rows.end(), rows.begin(), rows.end());
    }
    return all_rows;
}

std::vector<bench::ResultRow> bench_copy_blit(int rounds) {
    const Image image = make_test_image(kScreenWidth, kScreenHeight, AlphaKind::kSpriteLike);
    PixelBlock source = block_of(image);
    PixelBlock target = board_block();
    SDL_Surface* sdl_source = sdl_surface_of(source);
    SDL_Surface* sdl_screen = sdl_surface_of(target);
    SDL_SetSurfaceBlendMode(sdl_source, SDL_BLENDMODE_NONE);
    std::vector<uint32_t> memcpy_target(source.pixels.size());

    std::vector<bench::Contender> contenders;
    contenders.push_back({"draw_image COPY",
                          [&] {
                              draw_image(0, 0, image, BLIT_COPY);
                              return true;
                          },
                          nullptr});
    contenders.push_back({"SDL_BlitSurface",
                          [&] { return SDL_BlitSurface(sdl_source, nullptr, sdl_screen, nullptr) == 0; },
                          nullptr});
#ifdef BENCH_HAVE_PIXMAN
    pixman_image_t* pixman_source = pixman_image_of(source);
    pixman_image_t* pixman_screen = pixman_image_of(target);
    contenders.push_back({"pixman SRC",
                          [&] {
                              pixman_image_composite32(PIXMAN_OP_SRC, pixman_source, nullptr,
                                                       pixman_screen, 0, 0, 0, 0, 0, 0,
                                                       kScreenWidth, kScreenHeight);
                              return true;
                          },
                          nullptr});
#endif
    contenders.push_back({"memcpy",
                          [&] {
                              std::memcpy(memcpy_target.data(), source.pixels.data(),
                                          source.pixels.size() * 4);
                              return true;
                          },
                          nullptr});
    bench::RunOptions run_options;
    run_options.rounds = rounds;
    run_options.calls_per_round = 8;
    const auto timings = bench::run_interleaved(contenders, run_options);
    const double megapixels = static_cast<double>(kScreenWidth) * kScreenHeight / 1e6;
    std::vector<bench::ResultRow> rows;
    std::vector<size_t> peers;
    for (size_t i = 0; i < contenders.size(); ++i) {
        rows.push_back(
            bench::row_from_timing("blit", "copy_1080p", contenders[i].name, timings[i], megapixels));
        if (i > 0 && i + 1 < contenders.size()) peers.push_back(i);
    }
    fill_ratios(rows, peers, static_cast<long>(rows.size() - 1));
    rows[0].note = std::string("x memcpy ") + bench::format_ratio(rows[0].ratio_limit) +
                   " (target 0.9: " + (rows[0].ratio_limit >= 0.9 ? "met" : "NOT met") +
                   "); on fastest rounds x memcpy " +
                   bench::format_ratio(rows.back().min_ms / rows[0].min_ms);
#ifdef BENCH_HAVE_PIXMAN
    pixman_image_unref(pixman_source);
    pixman_image_unref(pixman_screen);
#endif
    SDL_FreeSurface(sdl_source);
    SDL_FreeSurface(sdl_screen);
    bench::print_rows(stdout, rows);
    std::printf("\n");
    return rows;
}

// What one frame of the animation draws: the captured scene restored in copy
// mode, the sprite and the two pinned images in alpha mode, the page copy.
struct FrameImages {
    Image background = kNullImage;
    Image sprite = kNullImage;
    Image first_pinned = kNullImage;
    Image second_pinned = kNullImage;
    int sprite_width = 0;
    int sprite_height = 0;
    std::string origin;  // where the images came from
};

struct SpritePath {
    int32_t x = kScreenWidth / 2;
    int32_t y = kScreenHeight / 2;
    int32_t speed_x = 11;
    int32_t speed_y = 7;
};

void draw_frame(const FrameImages& images, SpritePath& path) {
    const int32_t hw = images.sprite_width >> 1;
    const int32_t hh = images.sprite_height >> 1;
    draw_image(0, 0, images.background, BLIT_COPY);
    path.x += path.speed_x;
    path.y += path.speed_y;
    if (path.x >= kScreenWidth - hw) path.speed_x = -path.speed_x;
    if (path.y >= kScreenHeight - hh) path.speed_y = -path.speed_y;
    if (path.x <= hw) path.speed_x = -path.speed_x;
    if (path.y <= hh) path.speed_y = -path.speed_y;
    draw_image(static_cast<float>(path.x - hw), static_cast<float>(path.y - hh), images.sprite,
               BLIT_ALPHA);
    draw_image(static_cast<float>(kScreenWidth * 0.1), kScreenHeight >> 1, images.first_pinned,
               BLIT_ALPHA);
    draw_image(static_cast<float>(kScreenWidth * 0.6), kScreenHeight >> 1, images.second_pinned,
               BLIT_ALPHA);
    copy_page();
}

FrameImages stand_in_frame_images() {
    FrameImages images;
    images.background = make_test_image(kScreenWidth, kScreenHeight, AlphaKind::kOpaque);
    images.sprite = make_test_image(96, 96, AlphaKind::kSpriteLike);
    images.first_pinned = make_test_image(200, 150, AlphaKind::kAllPartial);
    images.second_pinned = make_test_image(200, 150, AlphaKind::kAllPartial);
    images.sprite_width = 96;
    images.sprite_height = 96;
    images.origin = "stand-in images: sprite 96x96, pinned 200x150";
    return images;
}

std::vector<bench::ResultRow> bench_frame(int rounds, const FrameImages& images) {
    std::vector<uint32_t> from(static_cast<size_t>(kScreenWidth) * kScreenHeight, 0xFF6E6E6Eu);
    std::vector<uint32_t> to(from.size());
    SpritePath path;
    std::vector<bench::Contender> contenders;
    contenders.push_back({"frame", [&] {
                              draw_frame(images, path);
                              return true;
                          },
                          nullptr});
    contenders.push_back({"memcpy of screen", [&] {
                              std::memcpy(to.data(), from.data(), from.size() * 4);
                              return true;
                          },
                          nullptr});
    bench::RunOptions run_options;
    run_options.rounds = rounds;
    run_options.calls_per_round = 8;
    const auto timings = bench::run_interleaved(contenders, run_options);
    const double megapixels = static_cast<double>(kScreenWidth) * kScreenHeight / 1e6;
    std::vector<bench::ResultRow> rows;
    for (size_t i = 0; i < contenders.size(); ++i) {
        rows.push_back(bench::row_from_timing("scene", "frame_1080p", contenders[i].name,
                                              timings[i], megapixels));
    }
    fill_ratios(rows, {}, 1);
    if (rows[0].median_ms > 0 && rows[1].median_ms > 0) {
        const double memcpys = rows[0].median_ms / rows[1].median_ms;
        char text[200];
        std::snprintf(text, sizeof text, "%.2f memcpy-of-screen times (target <= 3: %s); %s",
                      memcpys, memcpys <= 3 ? "met" : "NOT met", images.origin.c_str());
        rows[0].note = text;
    }
    bench::print_rows(stdout, rows);
    std::printf("\n");
    return rows;
}

#ifdef BENCH_HAVE_SHOWCASE
// The start-up scene as the program builds it, against 2,073,600 plain
// stores of the checkerboard's colours into a reused buffer.
std::vector<bench::ResultRow> bench_start_up(int rounds, FrameImages* frame_images) {
    ShowcaseScene scene{};
    std::vector<uint32_t> stores(static_cast<size_t>(kScreenWidth) * kScreenHeight);
    std::vector<bench::Contender> contenders;
    contenders.push_back({"build_scene", [&] {
                              scene = ShowcaseScene{};
                              return build_scene(scene);
                          },
                          nullptr});
    contenders.push_back({"2073600 plain stores", [&] {
                              uint32_t* out = stores.data();
                              for (int y = 0; y < kScreenHeight; ++y) {
                                  for (int x = 0; x < kScreenWidth; ++x) *out++ = board_colour(x, y);
                              }
                              // Keep the stores: the buffer is read after the timing.
                              __asm__ volatile("" : : "r"(stores.data()) : "memory");
                              return true;
                          },
                          nullptr});
    bench::RunOptions run_options;
    run_options.rounds = rounds;
    const auto timings = bench::run_interleaved(contenders, run_options);
    const double megapixels = static_cast<double>(kScreenWidth) * kScreenHeight / 1e6;
    std::vector<bench::ResultRow> rows;
    for (size_t i = 0; i < contenders.size(); ++i) {
        rows.push_back(bench::row_from_timing("scene", "start_up_1080p", contenders[i].name,
                                              timings[i], megapixels));
        rows.back().megapixels_per_s = -1;  // not a per-pixel figure
    }
    if (rows[0].median_ms > 0 && rows[1].median_ms > 0) {
        char text[160];
        std::snprintf(text, sizeof text, "%.1f x the plain stores; target < 100 ms: %s",
                      rows[0].median_ms / rows[1].median_ms,
                      rows[0].median_ms < 100 ? "met" : "NOT met");
        rows[0].note = text;
        rows[0].ratio_limit = rows[1].median_ms / rows[0].median_ms;
    }
    bench::print_rows(stdout, rows);
    std::printf("\n");

    // The last scene built stays open; the frame benchmark draws from it.
    if (scene.background != kNullImage && scene.sprite != kNullImage) {
        ImageInfo info{};
        query_image(scene.sprite, &info);
        frame_images->background = scene.background;
        frame_images->sprite = scene.sprite;
        frame_images->first_pinned = scene.images[kFirstPinnedImage];
        frame_images->second_pinned = scene.images[kSecondPinnedImage];
        frame_images->sprite_width = static_cast<int>(info.width);
        frame_images->sprite_height = static_cast<int>(info.height);
        frame_images->origin = "the sample scene";
    }
    return rows;
}
#endif

}  // namespace

int main(int argc, char** argv) {
    bench::CommonOptions options;
    if (!bench::parse_common_options(argc, argv, &options)) return 2;
    bench::keep_freed_memory();

    if (open_screen(kScreenWidth, kScreenHeight, 32, 2, 0, 0) != 0) {
        std::fprintf(stderr, "bench_raster: no screen\n");
        return 1;
    }
    std::vector<bench::ResultRow> rows = bench_alpha_blits(options.rounds);
    const std::vector<bench::ResultRow> copy_rows = bench_copy_blit(options.rounds);
    rows.insert(rows.end(), copy_rows.begin(), copy_rows.end());

    FrameImages frame_images;
#ifdef BENCH_HAVE_SHOWCASE
    if (!options.samples_dir.empty() && chdir(options.samples_dir.c_str()) == 0) {
        const auto start_rows = bench_start_up(options.rounds, &frame_images);
        rows.insert(rows.end(), start_rows.begin(), start_rows.end());
    } else {
        std::printf("start-up scene: skipped (no --samples folder)\n\n");
    }
#else
    std::printf("start-up scene: skipped (the showcase is not in this build)\n\n");
#endif
    if (frame_images.background == kNullImage) frame_images = stand_in_frame_images();
    const auto frame_rows = bench_frame(options.rounds, frame_images);
    rows.insert(rows.end(), frame_rows.begin(), frame_rows.end());

    if (!options.csv_path.empty() && !bench::append_csv(options.csv_path, rows)) {
        std::fprintf(stderr, "bench_raster: cannot write %s\n", options.csv_path.c_str());
        return 1;
    }
    return 0;
}
