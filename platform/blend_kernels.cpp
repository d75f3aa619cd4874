#include "platform/blend_kernels.h"

#include <cstring>

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define BLEND_KERNELS_X86 1
#include <immintrin.h>
#endif

namespace {

// The rule as written, one channel at a time; the SIMD forms are checked
// against this over every alpha.
inline uint32_t blend_channel(uint32_t s, uint32_t d, int32_t a, int shift) {
    const int32_t sc = static_cast<int32_t>((s >> shift) & 0xFFu);
    const int32_t dc = static_cast<int32_t>((d >> shift) & 0xFFu);
    return static_cast<uint32_t>(dc + (((sc - dc) * a) >> 8)) << shift;
}

void blend_row_plain(ArgbPixel* __restrict dst, const ArgbPixel* __restrict src, int64_t count) {
    for (int64_t i = 0; i < count; ++i) {
        const uint32_t s = src[i];
        const uint32_t d = dst[i];
        const int32_t a = static_cast<int32_t>(s >> 24);
        dst[i] = blend_channel(s, d, a, 24) | blend_channel(s, d, a, 16) |
                 blend_channel(s, d, a, 8) | blend_channel(s, d, a, 0);
    }
}

#ifdef BLEND_KERNELS_X86
// Why 16-bit lanes suffice: d + floor((s - d) a / 256) = floor(T / 256) with
// T = 256 d + (s - d) a = (256 - a) d + a s, which lies in 0..65280. So T
// computed with wrapping 16-bit arithmetic is T itself, and a logical shift
// right by 8 is the floor. Alpha 0 gives T = 256 d: the pixel stays, which is
// why groups of wholly transparent pixels may be skipped.

__attribute__((target("sse2"))) inline __m128i blend_half_sse2(__m128i s, __m128i d) {
    // s and d hold two pixels as eight 16-bit channels; a repeats each
    // pixel's alpha over its four lanes.
    __m128i a = _mm_shufflelo_epi16(s, 0xFF);
    a = _mm_shufflehi_epi16(a, 0xFF);
    const __m128i t = _mm_add_epi16(_mm_slli_epi16(d, 8), _mm_mullo_epi16(_mm_sub_epi16(s, d), a));
    return _mm_srli_epi16(t, 8);
}

__attribute__((target("sse2"))) void blend_row_sse2(ArgbPixel* dst, const ArgbPixel* src,
                                                    int64_t count) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i alpha_bytes = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    int64_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(s, alpha_bytes), zero)) == 0xFFFF) {
            continue;  // four transparent pixels
        }
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + i));
        const __m128i low = blend_half_sse2(_mm_unpacklo_epi8(s, zero), _mm_unpacklo_epi8(d, zero));
        const __m128i high =
            blend_half_sse2(_mm_unpackhi_epi8(s, zero), _mm_unpackhi_epi8(d, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_packus_epi16(low, high));
    }
    blend_row_plain(dst + i, src + i, count - i);
}

__attribute__((target("avx2"))) inline __m256i blend_half_avx2(__m256i s, __m256i d) {
    __m256i a = _mm256_shufflelo_epi16(s, 0xFF);
    a = _mm256_shufflehi_epi16(a, 0xFF);
    const __m256i t =
        _mm256_add_epi16(_mm256_slli_epi16(d, 8), _mm256_mullo_epi16(_mm256_sub_epi16(s, d), a));
    return _mm256_srli_epi16(t, 8);
}

__attribute__((target("avx2"))) void blend_row_avx2(ArgbPixel* dst, const ArgbPixel* src,
                                                    int64_t count) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i alpha_bytes = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    int64_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
        if (_mm256_testz_si256(s, alpha_bytes) != 0) continue;  // eight transparent pixels
        const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(dst + i));
        // unpack and pack work within each 128-bit half alike, so the pixels
        // come back in their places.
        const __m256i low =
            blend_half_avx2(_mm256_unpacklo_epi8(s, zero), _mm256_unpacklo_epi8(d, zero));
        const __m256i high =
            blend_half_avx2(_mm256_unpackhi_epi8(s, zero), _mm256_unpackhi_epi8(d, zero));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), _mm256_packus_epi16(low, high));
    }
    // The tail and whatever the caller runs next may be legacy SSE code, which
    // pays a heavy penalty while the upper halves of the registers are dirty;
    // GCC does not clear them before a tail call, so clear them here.
    _mm256_zeroupper();
    blend_row_sse2(dst + i, src + i, count - i);
}
#endif

BlendPath detect_blend_path() {
#ifdef BLEND_KERNELS_X86
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) return BLEND_AVX2;
    if (__builtin_cpu_supports("sse2")) return BLEND_SSE2;
#endif
    return BLEND_PLAIN;
}

}  // namespace

BlendPath fastest_blend_path() {
    static const BlendPath path = detect_blend_path();
    return path;
}

bool blend_path_available(BlendPath path) {
    return path <= fastest_blend_path();
}

const char* blend_path_name(BlendPath path) {
    switch (path) {
        case BLEND_PLAIN: return "plain";
        case BLEND_SSE2: return "sse2";
        case BLEND_AVX2: return "avx2";
    }
    return "unknown";
}

void blend_row(BlendPath path, ArgbPixel* dst, const ArgbPixel* src, int64_t count) {
    switch (path) {
#ifdef BLEND_KERNELS_X86
        case BLEND_AVX2: blend_row_avx2(dst, src, count); return;
        case BLEND_SSE2: blend_row_sse2(dst, src, count); return;
#endif
        default: blend_row_plain(dst, src, count); return;
    }
}

void copy_block(void* dst, int64_t dst_pitch, const void* src, int64_t src_pitch,
                size_t row_bytes, int64_t rows) {
    if (rows <= 0) return;
    const auto row_span = static_cast<int64_t>(row_bytes);
    if (row_span == dst_pitch && row_span == src_pitch) {
        std::memcpy(dst, src, row_bytes * static_cast<size_t>(rows));
        return;
    }
    auto* to = static_cast<unsigned char*>(dst);
    const auto* from = static_cast<const unsigned char*>(src);
    for (int64_t row = 0; row < rows; ++row) {
        std::memcpy(to + row * dst_pitch, from + row * src_pitch, row_bytes);
    }
}
