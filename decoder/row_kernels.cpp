#include "decoder/row_kernels.h"

#include <cstring>

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define ROW_KERNELS_X86 1
#include <immintrin.h>
#endif

namespace {

constexpr ArgbPixel kOpaque = 0xFF000000u;

// ---- the plain loops: the rule each fast form must match ------------------

void mono1_plain(const uint8_t* source, ArgbPixel* target, uint32_t width,
                 const ArgbPixel* palette) {
    uint32_t x = 0;
    for (; x + 8 <= width; x += 8) {
        const uint32_t bits = *source++;
        for (uint32_t k = 0; k < 8; ++k) target[x + k] = palette[(bits >> (7 - k)) & 1u];
    }
    const uint32_t bits = x < width ? *source : 0;
    for (uint32_t k = 0; x < width; ++x, ++k) target[x] = palette[(bits >> (7 - k)) & 1u];
}

void pal4_plain(const uint8_t* source, ArgbPixel* target, uint32_t width,
                const ArgbPixel* palette) {
    uint32_t x = 0;
    for (; x + 2 <= width; x += 2) {
        const uint32_t pair = *source++;
        target[x] = palette[pair >> 4];
        target[x + 1] = palette[pair & 0x0Fu];
    }
    if (x < width) target[x] = palette[*source >> 4];
}

void pal8_plain(const uint8_t* source, ArgbPixel* target, uint32_t width,
                const ArgbPixel* palette) {
    for (uint32_t x = 0; x < width; ++x) target[x] = palette[source[x]];
}

void lookup16_plain(const uint8_t* source, ArgbPixel* target, uint32_t width,
                    const ArgbPixel* table) {
    for (uint32_t x = 0; x < width; ++x) {
        target[x] = table[source[2 * x] | uint32_t{source[2 * x + 1]} << 8];
    }
}

void rgb555_plain(const uint8_t* source, ArgbPixel* target, uint32_t width) {
    for (uint32_t x = 0; x < width; ++x) {
        const uint32_t value = source[2 * x] | uint32_t{source[2 * x + 1]} << 8;
        target[x] = kOpaque | ((value >> 10) & 0x1Fu) << 19 | ((value >> 5) & 0x1Fu) << 11 |
                    (value & 0x1Fu) << 3;
    }
}

void rgb24_plain(const uint8_t* source, ArgbPixel* target, uint32_t width) {
    for (uint32_t x = 0; x < width; ++x) {
        const uint8_t* pixel = source + 3 * x;
        target[x] = kOpaque | uint32_t{pixel[2]} << 16 | uint32_t{pixel[1]} << 8 | pixel[0];
    }
}

uint32_t rgb32_plain(const uint8_t* source, ArgbPixel* target, uint32_t width) {
    uint32_t any = 0;
    for (uint32_t x = 0; x < width; ++x) {
        const uint8_t* pixel = source + 4 * x;
        target[x] = uint32_t{pixel[3]} << 24 | uint32_t{pixel[2]} << 16 |
                    uint32_t{pixel[1]} << 8 | pixel[0];
        any |= target[x];
    }
    return any;
}

void shuffle32_plain(const uint8_t* source, ArgbPixel* target, uint32_t width, ByteOrder order) {
    for (uint32_t x = 0; x < width; ++x) {
        const uint8_t* pixel = source + 4 * x;
        target[x] = order.opaque | uint32_t{pixel[order.alpha]} << 24 |
                    uint32_t{pixel[order.red]} << 16 | uint32_t{pixel[order.green]} << 8 |
                    pixel[order.blue];
    }
}

#ifdef ROW_KERNELS_X86
// ---- AVX2 forms: eight pixels per step, the plain loop for the rest -------

// Streaming stores need 16-byte aligned targets; rows that are not get plain
// stores, with the same result.
template <bool kStream>
__attribute__((target("avx2"))) inline void store8(ArgbPixel* target, __m256i pixels) {
    if constexpr (kStream) {
        _mm_stream_si128(reinterpret_cast<__m128i*>(target), _mm256_castsi256_si128(pixels));
        _mm_stream_si128(reinterpret_cast<__m128i*>(target + 4),
                         _mm256_extracti128_si256(pixels, 1));
    } else {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(target), pixels);
    }
}

bool can_stream(bool stream, const ArgbPixel* target) {
    return stream && (reinterpret_cast<uintptr_t>(target) & 15u) == 0;
}

// Each source byte's eight bits pick between the two palette colours.
template <bool kStream>
__attribute__((target("avx2"))) uint32_t mono1_avx2(const uint8_t* source, ArgbPixel* target,
                                                    uint32_t width, const ArgbPixel* palette) {
    const __m256i colour0 = _mm256_set1_epi32(static_cast<int>(palette[0]));
    const __m256i colour1 = _mm256_set1_epi32(static_cast<int>(palette[1]));
    const __m256i bit_of_lane = _mm256_setr_epi32(128, 64, 32, 16, 8, 4, 2, 1);
    uint32_t x = 0;
    for (; x + 8 <= width; x += 8) {
        const __m256i bits = _mm256_set1_epi32(*source++);
        const __m256i set = _mm256_cmpeq_epi32(_mm256_and_si256(bits, bit_of_lane), bit_of_lane);
        store8<kStream>(target + x, _mm256_blendv_epi8(colour0, colour1, set));
    }
    _mm256_zeroupper();  // the plain tail and the caller may run legacy SSE code
    return x;
}

// Four source bytes give eight nibbles, high nibble first; the 16-entry
// palette is looked up as two halves of eight, chosen by the nibble's bit 3.
template <bool kStream>
__attribute__((target("avx2"))) uint32_t pal4_avx2(const uint8_t* source, ArgbPixel* target,
                                                   uint32_t width, const ArgbPixel* palette) {
    const __m256i low_half = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(palette));
    const __m256i high_half = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(palette + 8));
    const __m256i nibble_shift = _mm256_setr_epi32(4, 0, 12, 8, 20, 16, 28, 24);
    const __m256i nibble = _mm256_set1_epi32(0x0F);
    uint32_t x = 0;
    for (; x + 8 <= width; x += 8) {
        uint32_t word = 0;
        std::memcpy(&word, source, 4);
        source += 4;
        const __m256i index = _mm256_and_si256(
            _mm256_srlv_epi32(_mm256_set1_epi32(static_cast<int>(word)), nibble_shift), nibble);
        const __m256i from_low = _mm256_permutevar8x32_epi32(low_half, index);
        const __m256i from_high = _mm256_permutevar8x32_epi32(high_half, index);
        const __m256i high = _mm256_slli_epi32(index, 28);  // bit 3 to the sign bit
        store8<kStream>(target + x,
                        _mm256_castps_si256(_mm256_blendv_ps(_mm256_castsi256_ps(from_low),
                                                             _mm256_castsi256_ps(from_high),
                                                             _mm256_castsi256_ps(high))));
    }
    _mm256_zeroupper();  // the plain tail and the caller may run legacy SSE code
    return x;
}

// Table lookups: AVX2's gather is slower here than eight plain loads, so
// the loads stay scalar and only the stores go wide, past the cache. Without
// streaming this form gains nothing over the plain loop, which then runs.
__attribute__((target("avx2"))) uint32_t pal8_stream_avx2(const uint8_t* source,
                                                          ArgbPixel* target, uint32_t width,
                                                          const ArgbPixel* palette) {
    uint32_t x = 0;
    for (; x + 8 <= width; x += 8) {
        const uint8_t* s = source + x;
        const __m256i pixels = _mm256_setr_epi32(
            static_cast<int>(palette[s[0]]), static_cast<int>(palette[s[1]]),
            static_cast<int>(palette[s[2]]), static_cast<int>(palette[s[3]]),
            static_cast<int>(palette[s[4]]), static_cast<int>(palette[s[5]]),
            static_cast<int>(palette[s[6]]), static_cast<int>(palette[s[7]]));
        store8<true>(target + x, pixels);
    }
    _mm256_zeroupper();  // the plain tail and the caller may run legacy SSE code
    return x;
}

__attribute__((target("avx2"))) uint32_t lookup16_stream_avx2(const uint8_t* source,
                                                              ArgbPixel* target, uint32_t width,
                                                              const ArgbPixel* table) {
    uint32_t x = 0;
    for (; x + 8 <= width; x += 8) {
        const uint8_t* s = source + 2 * x;
        auto at = [&](int k) {
            return static_cast<int>(table[s[2 * k] | uint32_t{s[2 * k + 1]} << 8]);
        };
        store8<true>(target + x,
                     _mm256_setr_epi32(at(0), at(1), at(2), at(3), at(4), at(5), at(6), at(7)));
    }
    _mm256_zeroupper();  // the plain tail and the caller may run legacy SSE code
    return x;
}

template <bool kStream>
__attribute__((target("avx2"))) uint32_t rgb555_avx2(const uint8_t* source, ArgbPixel* target,
                                                     uint32_t width) {
    const __m256i opaque = _mm256_set1_epi32(static_cast<int>(kOpaque));
    const __m256i red_field = _mm256_set1_epi32(0x1F << 19);
    const __m256i green_field = _mm256_set1_epi32(0x1F << 11);
    const __m256i blue_field = _mm256_set1_epi32(0x1F << 3);
    uint32_t x = 0;
    for (; x + 8 <= width; x += 8) {
        const __m256i value = _mm256_cvtepu16_epi32(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + 2 * x)));
        const __m256i red = _mm256_and_si256(_mm256_slli_epi32(value, 9), red_field);
        const __m256i green = _mm256_and_si256(_mm256_slli_epi32(value, 6), green_field);
        const __m256i blue = _mm256_and_si256(_mm256_slli_epi32(value, 3), blue_field);
        store8<kStream>(target + x,
                        _mm256_or_si256(_mm256_or_si256(opaque, red),
                                        _mm256_or_si256(green, blue)));
    }
    _mm256_zeroupper();  // the plain tail and the caller may run legacy SSE code
    return x;
}

// Each 128-bit half takes four pixels, twelve bytes, from a 16-byte load; the
// loop stops while at least two pixels (six bytes) remain, so the load never
// reaches past the last pixel's bytes.
template <bool kStream>
__attribute__((target("avx2"))) uint32_t rgb24_avx2(const uint8_t* source, ArgbPixel* target,
                                                    uint32_t width) {
    const __m256i opaque = _mm256_set1_epi32(static_cast<int>(kOpaque));
    const __m256i spread = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1,
                                            0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    uint32_t x = 0;
    for (; x + 10 <= width; x += 8) {
        const uint8_t* bytes = source + 3 * x;
        const __m256i raw = _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes))),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 12)), 1);
        store8<kStream>(target + x, _mm256_or_si256(_mm256_shuffle_epi8(raw, spread), opaque));
    }
    _mm256_zeroupper();  // the plain tail and the caller may run legacy SSE code
    return x;
}

template <bool kStream>
__attribute__((target("avx2"))) uint32_t rgb32_avx2(const uint8_t* source, ArgbPixel* target,
                                                    uint32_t width, uint32_t* any) {
    __m256i seen = _mm256_setzero_si256();
    uint32_t x = 0;
    for (; x + 8 <= width; x += 8) {
        const __m256i pixels =
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(source + 4 * x));
        seen = _mm256_or_si256(seen, pixels);
        store8<kStream>(target + x, pixels);
    }
    alignas(32) uint32_t lanes[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), seen);
    for (uint32_t lane : lanes) *any |= lane;
    _mm256_zeroupper();  // the plain tail and the caller may run legacy SSE code
    return x;
}

template <bool kStream>
__attribute__((target("avx2"))) uint32_t shuffle32_avx2(const uint8_t* source, ArgbPixel* target,
                                                        uint32_t width, ByteOrder order) {
    alignas(32) int8_t pattern[32];
    for (int pixel = 0; pixel < 8; ++pixel) {
        const int base = (pixel % 4) * 4;  // the shuffle works within each 16-byte half
        pattern[pixel * 4 + 0] = static_cast<int8_t>(base + order.blue);
        pattern[pixel * 4 + 1] = static_cast<int8_t>(base + order.green);
        pattern[pixel * 4 + 2] = static_cast<int8_t>(base + order.red);
        pattern[pixel * 4 + 3] = static_cast<int8_t>(base + order.alpha);
    }
    const __m256i shuffle = _mm256_load_si256(reinterpret_cast<const __m256i*>(pattern));
    const __m256i opaque = _mm256_set1_epi32(static_cast<int>(order.opaque));
    uint32_t x = 0;
    for (; x + 8 <= width; x += 8) {
        const __m256i pixels =
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(source + 4 * x));
        store8<kStream>(target + x, _mm256_or_si256(_mm256_shuffle_epi8(pixels, shuffle), opaque));
    }
    _mm256_zeroupper();  // the plain tail and the caller may run legacy SSE code
    return x;
}

__attribute__((target("avx2"))) uint64_t fill_pair_avx2(bool stream, ArgbPixel* target,
                                                      uint64_t count, ArgbPixel even,
                                                      ArgbPixel odd) {
    const int e = static_cast<int>(even);
    const int o = static_cast<int>(odd);
    const __m256i from_even = _mm256_setr_epi32(e, o, e, o, e, o, e, o);
    uint64_t i = 0;
    if (stream && count >= kStreamedRunPixels) {
        // Ordinary stores up to the first 64-byte line boundary, whole lines
        // streamed after it; the boundary may fall on an odd pixel, which
        // starts the pattern with the other colour. No fence here: the
        // caller fences once when the picture is done.
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(target), from_even);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(target + 8), from_even);
        i = ((64 - (reinterpret_cast<uintptr_t>(target) & 63u)) & 63u) / sizeof(ArgbPixel);
        const __m256i pattern =
            (i & 1) == 0 ? from_even : _mm256_setr_epi32(o, e, o, e, o, e, o, e);
        for (; i + 16 <= count; i += 16) {
            _mm256_stream_si256(reinterpret_cast<__m256i*>(target + i), pattern);
            _mm256_stream_si256(reinterpret_cast<__m256i*>(target + i + 8), pattern);
        }
    }
    for (; i + 8 <= count; i += 8) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(target + i),
                            (i & 1) == 0 ? from_even : _mm256_setr_epi32(o, e, o, e, o, e, o, e));
    }
    _mm256_zeroupper();  // the plain tail and the caller may run legacy SSE code
    return i;
}

__attribute__((target("sse2"))) inline void finish_streaming() { _mm_sfence(); }
#endif

RowPath detect_row_path() {
#ifdef ROW_KERNELS_X86
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) return ROW_AVX2;
#endif
    return ROW_PLAIN;
}

}  // namespace

void finish_streamed_runs() {
#ifdef ROW_KERNELS_X86
    finish_streaming();
#endif
}

RowPath fastest_row_path() {
    static const RowPath path = detect_row_path();
    return path;
}

bool row_path_available(RowPath path) { return path <= fastest_row_path(); }

const char* row_path_name(RowPath path) { return path == ROW_AVX2 ? "avx2" : "plain"; }

// Every kernel below runs the AVX2 body over whole groups of pixels, then the
// plain loop from where the body stopped: the bytes of pixel x start at a
// whole byte for every x the bodies stop at (a multiple of 8 pixels).

void fill_pixel_pair(RowPath path, bool stream, ArgbPixel* target, uint64_t count,
                     ArgbPixel even, ArgbPixel odd) {
    uint64_t done = 0;
#ifdef ROW_KERNELS_X86
    if (path == ROW_AVX2) done = fill_pair_avx2(stream, target, count, even, odd);
#else
    (void)path;
    (void)stream;
#endif
    // The tail goes on with the pattern by each pixel's own parity.
    for (uint64_t i = done; i < count; ++i) target[i] = (i & 1) == 0 ? even : odd;
}

void row_kernel_mono1(RowPath path, bool stream, const uint8_t* source, ArgbPixel* target,
                      uint32_t width, const ArgbPixel* palette) {
    uint32_t done = 0;
#ifdef ROW_KERNELS_X86
    if (path == ROW_AVX2) {
        done = can_stream(stream, target) ? mono1_avx2<true>(source, target, width, palette)
                                          : mono1_avx2<false>(source, target, width, palette);
        if (can_stream(stream, target)) finish_streaming();
    }
#else
    (void)path;
    (void)stream;
#endif
    mono1_plain(source + done / 8, target + done, width - done, palette);
}

void row_kernel_pal4(RowPath path, bool stream, const uint8_t* source, ArgbPixel* target,
                     uint32_t width, const ArgbPixel* palette) {
    uint32_t done = 0;
#ifdef ROW_KERNELS_X86
    if (path == ROW_AVX2) {
        done = can_stream(stream, target) ? pal4_avx2<true>(source, target, width, palette)
                                          : pal4_avx2<false>(source, target, width, palette);
        if (can_stream(stream, target)) finish_streaming();
    }
#else
    (void)path;
    (void)stream;
#endif
    pal4_plain(source + done / 2, target + done, width - done, palette);
}

void row_kernel_pal8(RowPath path, bool stream, const uint8_t* source, ArgbPixel* target,
                     uint32_t width, const ArgbPixel* palette) {
    uint32_t done = 0;
#ifdef ROW_KERNELS_X86
    if (path == ROW_AVX2 && can_stream(stream, target)) {
        done = pal8_stream_avx2(source, target, width, palette);
        finish_streaming();
    }
#else
    (void)path;
    (void)stream;
#endif
    pal8_plain(source + done, target + done, width - done, palette);
}

void row_kernel_lookup16(RowPath path, bool stream, const uint8_t* source, ArgbPixel* target,
                         uint32_t width, const ArgbPixel* table) {
    uint32_t done = 0;
#ifdef ROW_KERNELS_X86
    if (path == ROW_AVX2 && can_stream(stream, target)) {
        done = lookup16_stream_avx2(source, target, width, table);
        finish_streaming();
    }
#else
    (void)path;
    (void)stream;
#endif
    lookup16_plain(source + 2 * size_t{done}, target + done, width - done, table);
}

void row_kernel_rgb555(RowPath path, bool stream, const uint8_t* source, ArgbPixel* target,
                       uint32_t width) {
    uint32_t done = 0;
#ifdef ROW_KERNELS_X86
    if (path == ROW_AVX2) {
        done = can_stream(stream, target) ? rgb555_avx2<true>(source, target, width)
                                          : rgb555_avx2<false>(source, target, width);
        if (can_stream(stream, target)) finish_streaming();
    }
#else
    (void)path;
    (void)stream;
#endif
    rgb555_plain(source + 2 * size_t{done}, target + done, width - done);
}

void row_kernel_rgb24(RowPath path, bool stream, const uint8_t* source, ArgbPixel* target,
                      uint32_t width) {
    uint32_t done = 0;
#ifdef ROW_KERNELS_X86
    if (path == ROW_AVX2) {
        done = can_stream(stream, target) ? rgb24_avx2<true>(source, target, width)
                                          : rgb24_avx2<false>(source, target, width);
        if (can_stream(stream, target)) finish_streaming();
    }
#else
    (void)path;
    (void)stream;
#endif
    rgb24_plain(source + 3 * size_t{done}, target + done, width - done);
}

uint32_t row_kernel_rgb32(RowPath path, bool stream, const uint8_t* source, ArgbPixel* target,
                          uint32_t width) {
    uint32_t done = 0;
    uint32_t any = 0;
#ifdef ROW_KERNELS_X86
    if (path == ROW_AVX2) {
        done = can_stream(stream, target) ? rgb32_avx2<true>(source, target, width, &any)
                                          : rgb32_avx2<false>(source, target, width, &any);
        if (can_stream(stream, target)) finish_streaming();
    }
#else
    (void)path;
    (void)stream;
#endif
    return any | rgb32_plain(source + 4 * size_t{done}, target + done, width - done);
}

void row_kernel_shuffle32(RowPath path, bool stream, const uint8_t* source, ArgbPixel* target,
                          uint32_t width, ByteOrder order) {
    uint32_t done = 0;
#ifdef ROW_KERNELS_X86
    if (path == ROW_AVX2) {
        done = can_stream(stream, target) ? shuffle32_avx2<true>(source, target, width, order)
                                          : shuffle32_avx2<false>(source, target, width, order);
        if (can_stream(stream, target)) finish_streaming();
    }
#else
    (void)path;
    (void)stream;
#endif
    shuffle32_plain(source + 4 * size_t{done}, target + done, width - done, order);
}
