// The blit kernels alone, path by path, through Google Benchmark: how much
// each SIMD form gains over the plain rule on a 1080p screen's worth of rows.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "platform/blend_kernels.h"

namespace {

constexpr int64_t kWidth = 1920;
constexpr int64_t kHeight = 1080;

// alpha_kind 0: all partial (1 to 254); 1: sprite-like runs of 0, 255 and partial.
std::vector<ArgbPixel> make_source(int alpha_kind) {
    std::mt19937 random(99u);
    std::vector<ArgbPixel> pixels(kWidth * kHeight);
    for (int64_t i = 0; i < kWidth * kHeight; ++i) {
        uint32_t alpha = 1 + random() % 254;
        if (alpha_kind == 1) {
            const int64_t band = (i % kWidth) / 64 % 5;
            alpha = band < 2 ? 0 : band < 4 ? 255 : alpha;
        }
        pixels[i] = alpha << 24 | (random() & 0xFFFFFFu);
    }
    return pixels;
}

void blend_screen(benchmark::State& state) {
    const auto path = static_cast<BlendPath>(state.range(0));
    if (!blend_path_available(path)) {
        state.SkipWithError("path not available on this CPU");
        return;
    }
    const std::vector<ArgbPixel> source = make_source(static_cast<int>(state.range(1)));
    std::vector<ArgbPixel> screen(kWidth * kHeight, 0xFF6E6E6Eu);
    for (auto _ : state) {
        for (int64_t y = 0; y < kHeight; ++y) {
            blend_row(path, screen.data() + y * kWidth, source.data() + y * kWidth, kWidth);
        }
        benchmark::ClobberMemory();
    }
    state.SetLabel(blend_path_name(path));
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

void copy_screen(benchmark::State& state) {
    const std::vector<ArgbPixel> source = make_source(0);
    std::vector<ArgbPixel> screen(kWidth * kHeight);
    const bool pitched = state.range(0) != 0;
    for (auto _ : state) {
        // A pitch one pixel longer than the row forces the copy row by row.
        copy_block(screen.data(), kWidth * 4, source.data(), kWidth * 4,
                   (pitched ? kWidth - 1 : kWidth) * 4, kHeight);
        benchmark::ClobberMemory();
    }
    state.SetLabel(pitched ? "row by row" : "one block");
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

}  // namespace

BENCHMARK(blend_screen)
    ->ArgsProduct({{BLEND_PLAIN, BLEND_SSE2, BLEND_AVX2}, {0, 1}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(copy_screen)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
